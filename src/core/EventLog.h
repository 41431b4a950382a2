// An opt-in record of what the program does and when, one line per event:
// "<event> <seconds on the monotonic clock> [detail]". The end-to-end tests switch it on by
// naming a file in TINKLEWOOD_EVENT_LOG, to find beats, strokes and sample starts from what
// the program did rather than from when its window happened to be redrawn.
#pragma once

#include <string>

// Starts writing the log to the file at path (empty: no log). False if it cannot be opened.
bool openEventLog(const std::string& path);
void logEvent(const char* event, const std::string& detail = std::string());
