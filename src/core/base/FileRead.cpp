// The one place the model reads files from the disk itself.
#include "FileRead.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FileRead readSmallFile(const std::string& path, std::size_t limit, std::string& text) {
    text.clear();
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return FileRead::Missing;
    // Checked on the opened descriptor: the name could be swapped for a pipe in between.
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return FileRead::NotRegular;
    }
    std::string data;
    data.resize(limit + 1);
    std::size_t got = 0;
    while (got < data.size()) {
        const ssize_t n = read(fd, &data[got], data.size() - got);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            close(fd);
            return FileRead::Failed;
        }
        got += static_cast<std::size_t>(n);
    }
    close(fd);
    const bool tooLarge = got > limit;
    data.resize(tooLarge ? limit : got);
    text = std::move(data);
    return tooLarge ? FileRead::TooLarge : FileRead::Read;
}
