// The resource root: where it may be, which place wins, and the paths that follow it; names
// made printable for messages, the command lines of the program and its tools, and the settings
// file read and written.
#include <gtest/gtest.h>

#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <unistd.h>

#include "CommandLine.h"
#include "Piano.h"
#include "Instruments.h"
#include "Printable.h"
#include "Resources.h"
#include "Settings.h"

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

// ---- Names in messages ---------------------------------------------------------------------

TEST(Printable, ControlCodesAndBackslashesAreEscapedSoANameStaysOneLine) {
    EXPECT_EQ(printable("ode_to_joy.song"), "ode_to_joy.song");
    EXPECT_EQ(printable("two\nlines.song"), "two\\nlines.song");
    EXPECT_EQ(printable("\x1b]0;title\a\x1b[2J.mid"), "\\x1b]0;title\\x07\\x1b[2J.mid");
    EXPECT_EQ(printable(std::string("tab\tcr\rnul\0del\x7f", 15)), "tab\\tcr\\rnul\\x00del\\x7f");
    // A backslash of the name itself cannot be taken for an escape.
    EXPECT_EQ(printable("a\\x1b"), "a\\\\x1b");
}

TEST(Printable, ValidUtf8IsKeptAndEverythingElseEscapedByTheByte) {
    const std::string kept = "Fr\xc3\xa8re Jacques \xe2\x99\xaa \xf0\x9f\x8e\xb9 \xc2\xa0";  // è, a note, a piano, no-break space
    EXPECT_EQ(printable(kept), kept);
    EXPECT_EQ(printable("\xff\xfe"), "\\xff\\xfe");
    EXPECT_EQ(printable("cut \xe2\x99"), "cut \\xe2\\x99") << "a character cut short";
    EXPECT_EQ(printable("\xc0\xaf"), "\\xc0\\xaf") << "an overlong '/'";
    EXPECT_EQ(printable("\xed\xa0\x80"), "\\xed\\xa0\\x80") << "a surrogate";
    EXPECT_EQ(printable("\xf4\x90\x80\x80"), "\\xf4\\x90\\x80\\x80") << "past U+10FFFF";
    EXPECT_EQ(printable("\x9b"), "\\x9b") << "a lone C1 byte";
    EXPECT_EQ(printable("\xc2\x9b" "31m"), "\\xc2\\x9b" "31m") << "U+009B, a terminal's escape";
}

TEST(Printable, ALimitCutsBetweenCharactersAndSaysSo) {
    EXPECT_EQ(printable("abcdef", 3), "abc...");
    EXPECT_EQ(printable("abc", 3), "abc");
    EXPECT_EQ(printable("a\xc3\xa8", 2), "a...") << "never half a character";
    EXPECT_EQ(printable("\n\n\n", 2), "\\n\\n...") << "the limit counts the text, not its escapes";
}

// ---- Command lines -------------------------------------------------------------------------

const CommandLineSyntax TOOL = {
    "tool", "tool IN OUT [--level N]", "  --level N  how loud\n",
    {{"--level", true}, {"--quiet", false}, {"-display", true, true}, {"-sync", false, true}},
    {"IN", "OUT"}, 1,
};

CommandLine read(std::vector<const char*> words) {
    words.insert(words.begin(), "tool");
    return readCommandLine(TOOL, static_cast<int>(words.size()), words.data());
}

TEST(CommandLines, OptionsValuesAndOperandsAreReadInAnyOrder) {
    const CommandLine line = read({"--level", "3", "in", "--quiet", "--level=4", "--", "-out-"});
    EXPECT_EQ(line.exitStatus, -1) << line.err;
    EXPECT_EQ(line.operands, (std::vector<std::string>{"in", "-out-"})) << "after --, a dash starts a file name";
    EXPECT_TRUE(line.has("--quiet"));
    EXPECT_EQ(line.value("--level"), "4") << "the last one given";
    EXPECT_FALSE(line.has("--help"));
    EXPECT_EQ(read({"in", "--level", "3", "--help", "--unknown"}).exitStatus, 0) << "--help answers whatever follows";
    EXPECT_EQ(read({"-"}).operands, std::vector<std::string>{"-"});
}

TEST(CommandLines, GlutsOptionsArePassedOnWhereTheyStand) {
    const CommandLine line = read({"-sync", "in", "-display", ":1", "--quiet"});
    EXPECT_EQ(line.exitStatus, -1) << line.err;
    EXPECT_EQ(line.passedOn, (std::vector<int>{1, 3, 4}));
    EXPECT_EQ(line.operands, std::vector<std::string>{"in"});
    EXPECT_EQ(line.options.size(), 1u) << "only the program's own";
    EXPECT_EQ(read({"in", "-display=:1"}).exitStatus, 2) << "GLUT reads only -display NAME";
}

TEST(CommandLines, WhatCannotBeReadIsRefusedInOneLineWithTheUsageAndStatus2) {
    const struct {
        std::vector<const char*> words;
        const char* why;
    } cases[] = {
        {{"in", "--loud"}, "unknown option --loud"},
        {{"in", "--quiet=yes"}, "unknown option --quiet=yes"},
        {{"in", "-x\x1b[2J"}, "unknown option -x\\x1b[2J"},
        {{"in", "--level"}, "--level needs a value"},
        {{}, "no IN given"},
        {{"in", "out", "more\n"}, "unexpected argument more\\n"},
    };
    for (const auto& c : cases) {
        const CommandLine line = read(c.words);
        EXPECT_EQ(line.exitStatus, 2) << c.why;
        EXPECT_EQ(line.out, "") << c.why;
        EXPECT_EQ(line.err, std::string("tool: ") + c.why + "; usage: tool IN OUT [--level N]\n");
    }
}

// ---- The settings file ---------------------------------------------------------------------
class SettingsFile : public testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("tinklewood-settings-" + std::to_string(getpid()));
    void SetUp() override { fs::remove_all(dir); }
    void TearDown() override { fs::remove_all(dir); }
    std::string slurp(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_F(SettingsFile, NamesItDoesNotKnowAreKeptAndWrittenBackInTheirPlace) {
    Settings settings;
    std::string problem;
    ASSERT_TRUE(settings.parse("tinklewood-settings 1\r\n# a comment\n\ninstrument organ\ntempo 1.25\n"
                               "camera 0 -0.7 -7.5 60 0 0\ninstrument choir",
                               problem))
        << problem;
    EXPECT_EQ(settings.get("instrument"), "choir") << "the later line wins";
    EXPECT_EQ(settings.get("tempo"), "1.25");
    EXPECT_EQ(settings.get("camera"), "0 -0.7 -7.5 60 0 0") << "a value is the rest of its line";
    EXPECT_EQ(settings.get("glow"), std::nullopt);
    EXPECT_TRUE(settings.set("glow", "on"));
    EXPECT_EQ(settings.text(), "tinklewood-settings 1\ninstrument choir\ntempo 1.25\ncamera 0 -0.7 -7.5 60 0 0\nglow on\n");
    Settings again;
    ASSERT_TRUE(again.parse(settings.text(), problem));
    EXPECT_EQ(again, settings);
    // A value no line can hold is left out rather than written to break the file.
    EXPECT_FALSE(settings.set("song", "user two\nlines.song"));
    EXPECT_FALSE(settings.set("Bad Name", "x"));
    EXPECT_EQ(settings.get("song"), std::nullopt);
}

TEST_F(SettingsFile, AnythingElseInItsPlaceIsRefusedWhole) {
    Settings settings;
    std::string problem;
    const std::pair<std::string, std::string> refused[] = {
        {"", "the file is empty"},
        {"instrument organ\n", "line 1: it does not start with \"tinklewood-settings 1\""},
        {"tinklewood-settings 2\ninstrument organ\n", "line 1: it does not start with \"tinklewood-settings 1\""},
        {"tinklewood-settings 1\ninstrument organ\nglow\n", "line 3: not a name and a value"},
        {"tinklewood-settings 1\nInstrument organ\n", "line 2: not a name and a value"},
        {"tinklewood-settings 1\nletters o" + std::string(1, '\0') + "n\n", "line 2: not a name and a value"},
        {"\x89PNG\r\n\x1a\n", "line 1: it does not start with \"tinklewood-settings 1\""},
    };
    for (const auto& [text, why] : refused) {
        ASSERT_TRUE(settings.set("glow", "on"));
        EXPECT_FALSE(settings.parse(text, problem)) << printable(text);
        EXPECT_EQ(problem, why) << printable(text);
        EXPECT_TRUE(settings.empty()) << "nothing of a refused file is taken";
    }
}

TEST_F(SettingsFile, WrittenWholeIntoAFolderMadeForItAndReadBack) {
    const fs::path file = dir / "config" / "tinklewood" / "settings";
    Settings settings, read;
    std::string problem;
    EXPECT_EQ(readSettingsFile(file.string(), read, problem), SettingsRead::Missing) << "none yet is no problem";
    ASSERT_TRUE(settings.set("letters", "on"));
    EXPECT_EQ(writeSettingsFile(file.string(), settings), "");
    EXPECT_EQ(slurp(file), "tinklewood-settings 1\nletters on\n");
    EXPECT_EQ(readSettingsFile(file.string(), read, problem), SettingsRead::Read);
    EXPECT_EQ(read, settings);
    // Replaced in one step: the folder holds the file alone, no temporary one left beside it.
    ASSERT_TRUE(settings.set("letters", "off"));
    EXPECT_EQ(writeSettingsFile(file.string(), settings), "");
    EXPECT_EQ(slurp(file), "tinklewood-settings 1\nletters off\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 1);
}

TEST_F(SettingsFile, AFileThatCannotBeReadOrWrittenSaysWhyAndLeavesWhatStood) {
    Settings settings;
    std::string problem;
    fs::create_directories(dir / "settings");
    EXPECT_EQ(readSettingsFile((dir / "settings").string(), settings, problem), SettingsRead::Damaged);
    EXPECT_EQ(problem, "it is not a regular file");
    std::ofstream(dir / "big", std::ios::binary) << "tinklewood-settings 1\n" << std::string(70000, '#');
    EXPECT_EQ(readSettingsFile((dir / "big").string(), settings, problem), SettingsRead::Damaged);
    EXPECT_EQ(problem, "it is larger than 65536 bytes");
    // A file where its folder should be: nothing can be written, and nothing is left behind.
    std::ofstream(dir / "plain") << "keep me";
    ASSERT_TRUE(settings.set("glow", "on"));
    EXPECT_NE(writeSettingsFile((dir / "plain" / "settings").string(), settings), "");
    EXPECT_EQ(slurp(dir / "plain"), "keep me");
    // A folder in the file's place cannot be replaced: the folder stays, with nothing beside it.
    EXPECT_NE(writeSettingsFile((dir / "settings").string(), settings), "");
    EXPECT_TRUE(fs::is_directory(dir / "settings"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 3);
}

TEST_F(SettingsFile, LivesInTheConfigFolderOfXdgOrHome) {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    const std::string savedXdg = xdg ? xdg : "", savedHome = home ? home : "";
    setenv("XDG_CONFIG_HOME", "/x/config", 1);
    setenv("HOME", "/home/u", 1);
    EXPECT_EQ(settingsFilePath(), "/x/config/tinklewood/settings");
    setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored, as the XDG rules say
    EXPECT_EQ(settingsFilePath(), "/home/u/.config/tinklewood/settings");
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("HOME");
    EXPECT_EQ(settingsFilePath(), "");
    if (xdg) setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    if (home) setenv("HOME", savedHome.c_str(), 1);
}
}  // namespace
