// Keys shown right or wrong, and each song's best kept across runs of the program.
#include "Practice.h"

#include <cstdio>
#include <ctime>

#include "Printable.h"

namespace {
std::string today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char date[16];
    std::strftime(date, sizeof date, "%Y-%m-%d", &local);
    return date;
}
}  // namespace

void Practice::judged(const std::vector<int>& keys, bool right) {
    for (int key : keys) {
        if (key < 0 || key >= NUM_KEYS) continue;
        kinds_[static_cast<std::size_t>(key)] = right ? KeyFeedback::RIGHT : KeyFeedback::WRONG;
        judgedAt_[static_cast<std::size_t>(key)] = time_.seconds();
    }
}

std::array<KeyFeedback, NUM_KEYS> Practice::feedback() const {
    std::array<KeyFeedback, NUM_KEYS> shown{};
    const double now = time_.seconds();
    for (std::size_t k = 0; k < shown.size(); ++k) {
        const double age = now - judgedAt_[k];
        if (kinds_[k] != KeyFeedback::NONE && age < FEEDBACK_SECONDS) shown[k] = {kinds_[k], static_cast<float>(age)};
    }
    return shown;
}

bool Practice::shining() const {
    for (const KeyFeedback& key : feedback())
        if (key.kind != KeyFeedback::NONE) return true;
    return false;
}

std::string Practice::finished(const std::string& songPath, PracticeResult result) {
    result.date = today();
    std::string caption = describeRun(result);
    const std::string path = progressPath();
    if (path.empty() || songPath.empty()) return caption;
    ProgressBook book;
    std::string problem;
    if (!readProgress(path, book, problem)) {
        // Written over, a file that could not be read would lose every song's best.
        std::printf("Error: Cannot read the progress file %s: %s\n", printable(path).c_str(), problem.c_str());
        std::fflush(stdout);
        return caption + " - not kept";
    }
    const std::string key = progressKey(songPath);
    const auto kept = book.best.find(key);
    if (kept != book.best.end() && !better(result, kept->second)) return caption + " - " + describeBest(kept->second);
    book.best[key] = result;
    const std::string failure = writeProgress(path, book);
    if (!failure.empty()) {
        std::printf("Error: Cannot save the progress file %s: %s\n", printable(path).c_str(), failure.c_str());
        std::fflush(stdout);
        return caption + " - not kept";
    }
    return caption + " - the best so far";
}

std::string Practice::best(const std::string& songPath) const {
    ProgressBook book;
    std::string problem;
    if (!readProgress(progressPath(), book, problem)) return "";
    const auto kept = book.best.find(progressKey(songPath));
    return kept == book.best.end() ? "" : describeBest(kept->second);
}
