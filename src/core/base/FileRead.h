// Reading a small text file that the user may have replaced with anything: only a regular file
// is read, it is opened without blocking (a named pipe would otherwise hang the program until
// someone wrote to it), and never more than the limit plus one byte is read (a device such as
// /dev/zero would otherwise fill the memory).
#pragma once

#include <cstddef>
#include <string>

enum class FileRead {
    Read,        // the whole file is in text
    Missing,     // it could not be opened (absent, unreadable): errno says why
    NotRegular,  // a directory, device, pipe or socket: nothing was read
    TooLarge,    // over the limit: text holds its first `limit` bytes
    Failed,      // a read error part way
};

FileRead readSmallFile(const std::string& path, std::size_t limit, std::string& text);
