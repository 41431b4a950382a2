// Names from outside the program (file names above all) made safe to print on one line: a
// newline in a name cannot split a message, and a terminal is never sent a control code.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// text with every control code (C0, DEL and the two-byte C1 codes of UTF-8), every byte that
// is not part of valid UTF-8, and the backslash written as an escape: \n \r \t \\ and \xHH
// for the rest. Valid UTF-8 is kept as it is. With a limit, at most that many bytes of text
// are shown (never part of a character), then "..." if anything was left out.
std::string printable(std::string_view text, std::size_t limit = std::string_view::npos);
