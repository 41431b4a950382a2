// Files written whole: the recordings and the practice results.
#include "FileWrite.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {
// Writes all of text to fd; false with errno set on failure.
bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}
}  // namespace

std::string writeTemporary(const std::string& path, const std::string& text, std::string& failure) {
    // A temporary name of this process's own, so a file left by a run that crashed part way
    // (or another run writing at the same moment) does not stop this one.
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = path + "." + std::to_string(getpid()) + "-" + std::to_string(attempt) + ".part";
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        failure = std::strerror(errno);
        return "";
    }
    // Flushed before any rename: a machine that stops just after it must find the new content
    // under the name, not an empty file.
    bool written = writeAll(fd, text) && fsync(fd) == 0;
    int error = errno;
    if (close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written) return temporary;
    std::remove(temporary.c_str());
    failure = std::strerror(error);
    return "";
}

std::string writeWhole(const std::string& path, const std::string& text) {
    std::string failure;
    const std::string temporary = writeTemporary(path, text, failure);
    if (temporary.empty()) return failure;
    if (std::rename(temporary.c_str(), path.c_str()) == 0) return "";
    failure = std::strerror(errno);
    std::remove(temporary.c_str());
    return failure;
}
