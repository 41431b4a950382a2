// Where the pictures, samples, songs and help text are read from: one resource root, chosen
// once at start-up; every resource path the program uses derives from it.
#pragma once

#include <functional>
#include <string>
#include <vector>

// The root the program has always used, relative to the working directory (build/ in a
// build tree). Every path keeps its historical spelling while this is the root.
constexpr const char* DEFAULT_RESOURCE_ROOT = "../res";

// The paths that derive from one root, each folder's ending in '/'.
struct ResourcePaths {
    std::string root;
    std::string sounds, songs, textures, backgrounds, help;

    explicit ResourcePaths(const std::string& r = DEFAULT_RESOURCE_ROOT)
        : root(r), sounds(r + "/sounds/"), songs(r + "/songs/"), textures(r + "/textures/"),
          backgrounds(r + "/backgrounds/"), help(r + "/help.txt") {}
};

// The places a root may be, in the order they are tried: DEFAULT_RESOURCE_ROOT, then
// <exeFolder>/../res (the binary in a build tree), then the data folder at installDataFromBin
// from the executable's folder (an install, wherever its prefix was moved), then the data
// folder installedRoot configured at build time. Empty inputs and repeats are left out.
std::vector<std::string> resourceRootCandidates(const std::string& exeFolder,
                                                const std::string& installDataFromBin,
                                                const std::string& installedRoot);

// resourceRootCandidates for the running binary: its own folder (from /proc/self/exe) and the
// install folders configured at build time.
std::vector<std::string> resourceRootCandidatesForThisBinary();

// The first candidate that holds resources; empty when none does.
std::string chooseResourceRoot(const std::vector<std::string>& candidates,
                               const std::function<bool(const std::string&)>& holdsResources);

// Whether the folder is a resource root: it has at least one of the resource folders or the
// help text. A root missing some of its files is still the root (the program then names what
// is missing); a folder that merely exists is not.
bool holdsResources(const std::string& folder);
