// The opt-in event log: one line an event, flushed as it is written so a test reads it live.
#include "EventLog.h"

EventLog::~EventLog() {
    if (file_ != nullptr) std::fclose(file_);
}

bool EventLog::open(const std::string& path) {
    if (path.empty()) return true;
    file_ = std::fopen(path.c_str(), "w");
    return file_ != nullptr;
}

void EventLog::log(const char* event, const std::string& detail) { logAt(clock_.seconds(), event, detail); }

void EventLog::logAt(double seconds, const char* event, const std::string& detail) {
    if (file_ == nullptr) return;
    std::fprintf(file_, "%s %.6f%s%s\n", event, seconds, detail.empty() ? "" : " ", detail.c_str());
    std::fflush(file_);
}
