// The tools' output files, written whole or not at all: into a temporary file beside the
// output, renamed over it once every byte is written and the file closed, so a full disk or a
// failure part way leaves what stood there before and no half-written file. A device or a pipe
// named as the output is written in place, and never removed.
#pragma once

#include <cstddef>
#include <string>

// Whether a and b are one and the same existing file, however named: through a symbolic or
// hard link, or another spelling of the path (compared by device and inode).
bool sameFile(const std::string& a, const std::string& b);
// Whether standard output is the existing file path.
bool standardOutputIs(const std::string& path);

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();  // an output never committed is closed and its temporary file removed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Starts the output at path; false when it cannot be made (reason() says why: "Is a
    // directory", "No such file or directory").
    bool open(const std::string& path);
    // Writes all of data; false from the first failure on.
    bool write(const void* data, std::size_t size);
    // The file's descriptor, for a writer that also seeks (libsndfile); whatever goes wrong
    // there is recorded with fail(errno).
    int descriptor() const { return fd_; }
    void fail(int error);
    // Completes the output: written to the disk, closed and put in place. False with the
    // reason when anything written was lost; then no trace of the output is left.
    bool commit();

    bool failed() const { return error_ != 0; }
    std::string reason() const;

private:
    void discard();
    std::string target_;  // where the output goes, links followed
    std::string temp_;    // empty when written in place
    int fd_ = -1;
    int error_ = 0;
};
