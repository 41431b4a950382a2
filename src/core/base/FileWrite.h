// Writing a small file whole or not at all: a full disk, a failed write or a crash part way
// never leaves a half file in its place, nor loses what stood there before.
#pragma once

#include <string>

// Writes text to path through a temporary file of its own in the same folder, flushed to the
// disk before it is renamed into place. Empty on success, else the reason in a few words; the
// temporary file is removed on failure.
std::string writeWhole(const std::string& path, const std::string& text);
// The first half of that, for files that are put in place together: text written and flushed to
// a temporary file of its own beside path, whose path is returned; on failure empty, the
// reason in `failure` and nothing left behind.
std::string writeTemporary(const std::string& path, const std::string& text, std::string& failure);
