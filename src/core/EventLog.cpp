#include "EventLog.h"

#include <cstdio>

#include "timer.h"

namespace {
std::FILE* logFile = nullptr;
}

bool openEventLog(const std::string& path) {
    if (path.empty()) return true;
    logFile = std::fopen(path.c_str(), "w");
    return logFile != nullptr;
}

void logEvent(const char* event, const std::string& detail) {
    if (logFile == nullptr) return;
    const double seconds = static_cast<double>(clocksource::now()) / clocksource::TICKS_PER_SECOND;
    std::fprintf(logFile, "%s %.6f%s%s\n", event, seconds, detail.empty() ? "" : " ", detail.c_str());
    std::fflush(logFile);
}
