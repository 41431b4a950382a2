// Files written whole: a temporary file beside the target, renamed into place once complete.
#include "FileWrite.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <unistd.h>

std::string writeFileWhole(const std::string& path, const std::string& text) {
    namespace fs = std::filesystem;
    // The process's own temporary name: one left by a program that died part way cannot block
    // every later write, and two programs saving at once do not write into one file.
    const std::string temporary = path + "." + std::to_string(getpid()) + ".part";
    std::FILE* file = std::fopen(temporary.c_str(), "w");
    if (file == nullptr) return std::strerror(errno);
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
    int error = errno;
    // On the disk before the rename: after a power cut the name holds the old file or the new
    // one, never an empty one.
    if (written && fsync(fileno(file)) != 0) {
        written = false;
        error = errno;
    }
    const bool closed = std::fclose(file) == 0;
    if (written && !closed) error = errno;
    std::error_code ignored;
    if (!written || !closed) {
        fs::remove(temporary, ignored);
        return std::strerror(error);
    }
    std::error_code renamed;
    fs::rename(temporary, path, renamed);
    if (renamed) {
        fs::remove(temporary, ignored);
        return renamed.message();
    }
    return "";
}
