// The resource root and the paths that derive from it.
#include "Resources.h"

#include <filesystem>
#include <system_error>


#ifndef TINKLEWOOD_DATA_FROM_BIN
#define TINKLEWOOD_DATA_FROM_BIN ""
#endif
#ifndef TINKLEWOOD_INSTALLED_RES
#define TINKLEWOOD_INSTALLED_RES ""
#endif

namespace fs = std::filesystem;

std::vector<std::string> resourceRootCandidates(const std::string& exeFolder,
                                                const std::string& installDataFromBin,
                                                const std::string& installedRoot) {
    std::vector<std::string> candidates{DEFAULT_RESOURCE_ROOT};
    auto add = [&](const fs::path& path) {
        const std::string spelled = path.lexically_normal().string();
        for (const std::string& known : candidates)
            if (known == spelled) return;
        candidates.push_back(spelled);
    };
    if (!exeFolder.empty()) {
        add(fs::path(exeFolder) / ".." / "res");
        if (!installDataFromBin.empty()) add(fs::path(exeFolder) / installDataFromBin);
    }
    if (!installedRoot.empty()) add(installedRoot);
    return candidates;
}

std::vector<std::string> resourceRootCandidatesForThisBinary() {
    // The folder of the running binary, symbolic links resolved; left out if the system hides it.
    std::error_code error;
    const fs::path exe = fs::read_symlink("/proc/self/exe", error);
    return resourceRootCandidates(error ? std::string() : exe.parent_path().string(), TINKLEWOOD_DATA_FROM_BIN,
                                  TINKLEWOOD_INSTALLED_RES);
}

std::string chooseResourceRoot(const std::vector<std::string>& candidates,
                               const std::function<bool(const std::string&)>& holdsResources) {
    for (const std::string& candidate : candidates)
        if (holdsResources(candidate)) return candidate;
    return {};
}

bool holdsResources(const std::string& folder) {
    std::error_code error;
    const fs::path root(folder);
    for (const char* part : {"sounds", "backgrounds", "textures", "songs"})
        if (fs::is_directory(root / part, error)) return true;
    return fs::is_regular_file(root / "help.txt", error);
}
