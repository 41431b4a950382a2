// An opt-in record of what the program does and when, one line per event:
// "<event> <seconds on the program's clock> [detail]". The end-to-end tests switch it on by
// naming a file in TINKLEWOOD_EVENT_LOG, to find beats, strokes and sample starts from what
// the program did rather than from when its window happened to be redrawn.
#pragma once

#include <cstdio>
#include <string>

#include "Clock.h"

class EventLog {
public:
    explicit EventLog(const Clock& clock) : clock_(clock) {}
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    // Starts writing to the file at path (empty: no log). False if it cannot be opened.
    bool open(const std::string& path);
    void log(const char* event, const std::string& detail = std::string());
    // An event of a moment other than now: a step of the piano's time that ran late.
    void logAt(double seconds, const char* event, const std::string& detail = std::string());

private:
    const Clock& clock_;
    std::FILE* file_ = nullptr;
};
