// The resource root: where it may be, which place wins, and the paths that follow it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <unistd.h>

#include "Piano.h"
#include "Instruments.h"
#include "Resources.h"

namespace {
namespace fs = std::filesystem;

TEST(ResourceRoot, CandidatesAreTheWorkingDirectoryThenTheBuildTreeThenTheInstall) {
    EXPECT_EQ(resourceRootCandidates("/opt/tw/bin", "../share/tinklewood/res", "/usr/local/share/tinklewood/res"),
              (std::vector<std::string>{"../res", "/opt/tw/res", "/opt/tw/share/tinklewood/res",
                                        "/usr/local/share/tinklewood/res"}));
}

TEST(ResourceRoot, CandidatesLeaveOutRepeatsAndWhatIsUnknown) {
    // Installed where it was configured for: the two install places are one.
    EXPECT_EQ(resourceRootCandidates("/usr/bin", "../share/tinklewood/res", "/usr/share/tinklewood/res"),
              (std::vector<std::string>{"../res", "/usr/res", "/usr/share/tinklewood/res"}));
    // No executable folder (no /proc): only the working directory's and the configured one.
    EXPECT_EQ(resourceRootCandidates("", "../share/tinklewood/res", "/usr/share/tinklewood/res"),
              (std::vector<std::string>{"../res", "/usr/share/tinklewood/res"}));
    EXPECT_EQ(resourceRootCandidates("", "", ""), (std::vector<std::string>{"../res"}));
}

TEST(ResourceRoot, TheFirstPlaceHoldingResourcesWinsAndNoneGivesEmpty) {
    const std::vector<std::string> places{"../res", "/build/res", "/usr/share/tinklewood/res"};
    std::vector<std::string> asked;
    const auto holds = [&](std::set<std::string> full) {
        asked.clear();
        return [&asked, full](const std::string& place) {
            asked.push_back(place);
            return full.count(place) > 0;
        };
    };
    EXPECT_EQ(chooseResourceRoot(places, holds({"../res", "/usr/share/tinklewood/res"})), "../res");
    EXPECT_EQ(asked, std::vector<std::string>{"../res"}) << "a later place is not even looked at";
    EXPECT_EQ(chooseResourceRoot(places, holds({"/build/res", "/usr/share/tinklewood/res"})), "/build/res");
    EXPECT_EQ(chooseResourceRoot(places, holds({"/usr/share/tinklewood/res"})), "/usr/share/tinklewood/res");
    EXPECT_EQ(chooseResourceRoot(places, holds({})), "");
    EXPECT_EQ(asked, places);
}

// A scratch folder, removed at the end.
struct Scratch {
    fs::path root = fs::temp_directory_path() / ("tinklewood-resources-" + std::to_string(::getpid()));
    Scratch() { fs::create_directories(root); }
    ~Scratch() { fs::remove_all(root); }
};

TEST(ResourceRoot, AFolderHoldsResourcesWithAnyResourceFolderOrTheHelpText) {
    Scratch s;
    EXPECT_FALSE(holdsResources((s.root / "absent").string()));
    fs::create_directories(s.root / "empty");
    EXPECT_FALSE(holdsResources((s.root / "empty").string())) << "a folder that merely exists";
    fs::create_directories(s.root / "other");
    std::ofstream(s.root / "other" / "sounds") << "a file, not a folder";
    EXPECT_FALSE(holdsResources((s.root / "other").string()));
    fs::create_directories(s.root / "help");
    std::ofstream(s.root / "help" / "help.txt") << "text";
    EXPECT_TRUE(holdsResources((s.root / "help").string())) << "all but the help text may be missing";
    for (const char* part : {"sounds", "songs", "textures", "backgrounds"}) {
        fs::create_directories(s.root / part / part);
        EXPECT_TRUE(holdsResources((s.root / part).string())) << part;
    }
}

TEST(ResourceRoot, EveryPathFollowsTheRootAndKeepsItsSpellingAtTheDefault) {
    const ResourcePaths standard;
    EXPECT_EQ(standard.root, "../res");
    EXPECT_EQ(standard.sounds, "../res/sounds/");
    EXPECT_EQ(standard.songs, "../res/songs/");
    EXPECT_EQ(standard.textures, "../res/textures/");
    EXPECT_EQ(standard.backgrounds, "../res/backgrounds/");
    EXPECT_EQ(standard.help, "../res/help.txt");
    EXPECT_EQ(instrumentSamplePaths(standard).front(), "../res/sounds/piano/C0.mp3");

    const ResourcePaths installed("/opt/tw/share/tinklewood/res");
    EXPECT_EQ(installed.songs, "/opt/tw/share/tinklewood/res/songs/");
    EXPECT_EQ(installed.textures, "/opt/tw/share/tinklewood/res/textures/");
    EXPECT_EQ(installed.backgrounds, "/opt/tw/share/tinklewood/res/backgrounds/");
    EXPECT_EQ(installed.help, "/opt/tw/share/tinklewood/res/help.txt");
    const std::vector<std::string> samples = instrumentSamplePaths(installed);
    EXPECT_EQ(samples.size(), 125u);
    for (const std::string& path : samples) EXPECT_EQ(path.rfind("/opt/tw/share/tinklewood/res/sounds/", 0), 0u) << path;
    EXPECT_EQ(samplePath(installed, ORGAN, 0), "/opt/tw/share/tinklewood/res/sounds/organ/C0.mp3");
    EXPECT_EQ(samples[ORGAN * NUM_KEYS + 24], "/opt/tw/share/tinklewood/res/sounds/organ/Black9.mp3");
}

}  // namespace
