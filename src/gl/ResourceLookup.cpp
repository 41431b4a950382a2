// Finds the resources at start-up, whether the program runs from build/, from anywhere else
// in a build tree, or installed: the platform half of the choice in Resources.h.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "Resources.h"
#include "Shell.h"

namespace {
namespace fs = std::filesystem;

const char* const MIXER_CONFIG = "alsoft.conf";
}  // namespace

void findResources() {
    const std::vector<std::string> candidates = resourceRootCandidatesForThisBinary();
    const std::string root = chooseResourceRoot(candidates, holdsResources);
    if (!root.empty()) {
        setResourceRoot(root);
        return;
    }
    // None: the paths stay at ../res, and each kind of missing file is told on its own line.
    std::error_code error;
    std::string places;
    for (const std::string& candidate : candidates) {
        if (!places.empty()) places += ", ";
        places += candidate;
        if (fs::path(candidate).is_relative()) places += " (" + fs::absolute(candidate, error).lexically_normal().string() + ")";
    }
    std::fprintf(stderr, "tinklewood: no resources found in %s; running without pictures, sounds, songs and help\n",
                 places.c_str());
}

std::string mixerConfigFile() {
    std::error_code error;
    const fs::path config = fs::path(resourceRoot()) / MIXER_CONFIG;
    if (!fs::is_regular_file(config, error)) return {};
    return fs::absolute(config, error).lexically_normal().string();
}
