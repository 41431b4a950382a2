// Writing a small file the user keeps (a recorded song, the settings) whole or not at all: a
// crash, a full disk or a failed write never leaves half a file where the old one stood.
#pragma once

#include <string>

// Writes text to path through a temporary file beside it (path.<process id>.part), flushed to
// the disk and then renamed into place. Empty on success, else the reason; on failure the
// temporary file is removed and whatever stood at path is left as it was.
std::string writeFileWhole(const std::string& path, const std::string& text);
