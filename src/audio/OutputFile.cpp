// Writing the tools' output files, every step checked to the rename.
#include "OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first {}, second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

bool standardOutputIs(const std::string& path) {
    struct stat out {}, file {};
    return ::fstat(STDOUT_FILENO, &out) == 0 && ::stat(path.c_str(), &file) == 0 && out.st_dev == file.st_dev &&
           out.st_ino == file.st_ino;
}

OutputFile::~OutputFile() { discard(); }

bool OutputFile::open(const std::string& path) {
    discard();
    error_ = 0;
    target_ = path;
    // Through a link to the file it names, which then keeps the link.
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        if (char* resolved = ::realpath(path.c_str(), nullptr)) {
            target_ = resolved;
            std::free(resolved);
        }
    }
    const bool exists = ::stat(target_.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) {
        fail(EISDIR);
        return false;
    }
    // The file is replaced, not written into: one that may not be written stays as it is.
    if (exists && S_ISREG(info.st_mode) && ::access(target_.c_str(), W_OK) != 0) {
        fail(errno);
        return false;
    }
    if (exists && !S_ISREG(info.st_mode)) {
        fd_ = ::open(target_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0) fail(errno);
        return fd_ >= 0;
    }
    // A name of its own beside the output (the rename must not cross file systems), hidden
    // and not ending in .song or .mid, so that a songs folder never offers it.
    const std::size_t slash = target_.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target_.substr(0, slash + 1);
    const std::string name = target_.substr(folder.size(), 200);  // room for the suffix in NAME_MAX
    std::random_device random;
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        temp_ = folder + "." + name + "." + std::to_string(random() % 1000000) + ".partial";
        // Made as the output itself would be: with the umask applied, or the existing file's mode.
        fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, exists ? 0600 : 0666);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) {
        fail(errno);
        temp_.clear();
        return false;
    }
    if (exists && ::fchmod(fd_, info.st_mode & 07777) != 0) fail(errno);
    return !failed();
}

bool OutputFile::write(const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0 && !failed()) {
        const ssize_t n = ::write(fd_, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            fail(n < 0 ? errno : EIO);
            break;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return !failed();
}

void OutputFile::fail(int error) {
    if (error_ == 0) error_ = error != 0 ? error : EIO;
}

std::string OutputFile::reason() const { return std::strerror(error_); }

bool OutputFile::commit() {
    if (fd_ < 0) fail(EBADF);
    // Some file systems (NFS, a full quota) say only at fsync or close that the data was lost.
    if (!failed() && !temp_.empty() && ::fsync(fd_) != 0) fail(errno);
    if (fd_ >= 0 && ::close(fd_) != 0) fail(errno);
    fd_ = -1;
    if (!failed() && !temp_.empty() && ::rename(temp_.c_str(), target_.c_str()) != 0) fail(errno);
    if (failed()) {
        discard();
        return false;
    }
    temp_.clear();
    return true;
}

void OutputFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
}
