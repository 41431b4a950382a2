// MIDI files through libsmf: what the writer writes the reader reads back, a written piece
// chosen with "6" plays as written and along as the song of melody and chords made of it, and
// files that are not what they claim are refused with one line.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "MidiFile.h"
#include "MidiTimeline.h"
#include "app_fixture.h"

namespace fs = std::filesystem;

class MidiFiles : public AppTest {
protected:
    fs::path root;
    fs::path previous;

    void SetUp() override {
        AppTest::SetUp();
        previous = fs::current_path();
        root = fs::temp_directory_path() / ("tinklewood-midi-" + std::to_string(::getpid()) + "-" +
                                            testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(root / "work");
        fs::create_directories(root / "res" / "songs");
        fs::current_path(root / "work");
    }
    void TearDown() override {
        fs::current_path(previous);
        fs::remove_all(root);
        AppTest::TearDown();
    }

    std::string path(const std::string& name) const { return (root / "res" / "songs" / name).string(); }

    static std::string bytesOf(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    // A scale from C4 to C5 in quarter notes at 120 a minute, over C, F, G and C held for half
    // a bar each, all in the one track the writer writes.
    static std::vector<MidiNoteEvent> scaleOverChords() {
        std::vector<MidiNoteEvent> events;
        const int scale[] = {60, 62, 64, 65, 67, 69, 71, 72};
        for (int i = 0; i < 8; ++i) {
            events.push_back({i * 0.5, scale[i], 90});
            events.push_back({i * 0.5 + 0.5, scale[i], 0});
        }
        const int chords[4][3] = {{48, 52, 55}, {48, 53, 57}, {50, 55, 59}, {48, 52, 55}};
        for (int h = 0; h < 4; ++h)
            for (int p : chords[h]) {
                events.push_back({h * 1.0, p, 70});
                events.push_back({h * 1.0 + 1.0, p, 0});
            }
        return events;
    }
};

TEST_F(MidiFiles, WhatTheWriterWritesTheReaderReadsBack) {
    // Given out of order, with a note struck again as it ends.
    const std::vector<MidiNoteEvent> events = {
        {1.0, 64, 0}, {0.25, 64, 100}, {0.0, 60, 90}, {0.5, 60, 0}, {0.5, 60, 80}, {0.75, 60, 0}};
    std::string error;
    ASSERT_TRUE(writeMidiFile(path("written.mid"), 5, events, error)) << error;
    const std::string bytes = bytesOf(path("written.mid"));
    EXPECT_NE(bytes.find(std::string("\xC0\x05", 2)), std::string::npos) << "the program change";

    MidiScore score;
    ASSERT_TRUE(readMidiBytes(bytes, score, error)) << error;
    EXPECT_EQ(score.ticksPerQuarter, MIDI_WRITE_TICKS_PER_QUARTER);
    ASSERT_EQ(score.tempos.size(), 1u);
    EXPECT_DOUBLE_EQ(score.tempos[0].secondsPerQuarter, 0.5);
    ASSERT_EQ(score.notes.size(), 3u);
    const long long tick = MIDI_WRITE_TICKS_PER_QUARTER * 2;  // a second
    struct Expected { int pitch, velocity; double start, end; };
    const Expected expected[] = {{60, 90, 0, 0.5}, {64, 100, 0.25, 1.0}, {60, 80, 0.5, 0.75}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(score.notes[i].pitch, expected[i].pitch) << i;
        EXPECT_EQ(score.notes[i].velocity, expected[i].velocity) << i;
        EXPECT_EQ(score.notes[i].startTick, static_cast<long long>(expected[i].start * tick)) << i;
        EXPECT_EQ(score.notes[i].endTick, static_cast<long long>(expected[i].end * tick)) << i;
        EXPECT_EQ(score.notes[i].channel, 0);
    }

    ASSERT_EQ(score.controls.size(), 1u);
    EXPECT_EQ(score.controls[0].kind, MidiControl::PROGRAM);
    EXPECT_EQ(score.controls[0].number, 5);
    EXPECT_EQ(score.endTick, tick) << "the track ends with its last note";

    EXPECT_FALSE(writeMidiFile((root / "no" / "such" / "folder.mid").string(), 0, events, error));
    EXPECT_EQ(error.rfind("Error: Failed to write MIDI file ", 0), 0u) << error;
}

TEST_F(MidiFiles, AWrittenPieceChosenWithSixPlaysAsWrittenAndAlongWithNineAsItsSong) {
    std::string error;
    ASSERT_TRUE(writeMidiFile(path("scale.mid"), 0, scaleOverChords(), error)) << error;
    setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);  // no songs of the user's
    PianoSetup withMidi = setup();
    withMidi.readMidiScore = readMidiFile;  // as the program does at start-up
    piano = std::make_unique<Piano>(withMidi);

    testing::internal::CaptureStdout();
    press('6');
    const double start = clock.seconds();
    press('5');
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    unsetenv("XDG_DATA_HOME");
    ASSERT_TRUE(piano->score().playing());
    EXPECT_FALSE(songPlaying());
    // Every note of the file, the scale's and the chords', sounds at its own time.
    std::vector<std::pair<double, std::string>> heard;
    for (int f = 0; f < 400 && piano->score().playing(); ++f) {
        for (const auto& c : sound.take())
            if (c.op == "play") heard.push_back({clock.seconds() - start, c.path.substr(c.path.rfind('/') + 1)});
        frame();
    }
    EXPECT_FALSE(piano->score().playing());
    const std::vector<std::pair<double, std::string>> expected = {
        {0, "C1.mp3"},   {0, "C0.mp3"},   {0, "E0.mp3"},   {0, "G0.mp3"},   {0.5, "D1.mp3"},
        {1, "E1.mp3"},   {1, "C0.mp3"},   {1, "F0.mp3"},   {1, "A0.mp3"},   {1.5, "F1.mp3"},
        {2, "G1.mp3"},   {2, "D0.mp3"},   {2, "G0.mp3"},   {2, "B0.mp3"},   {2.5, "A1.mp3"},
        {3, "B1.mp3"},   {3, "C0.mp3"},   {3, "E0.mp3"},   {3, "G0.mp3"},   {3.5, "C2.mp3"}};
    ASSERT_EQ(heard.size(), expected.size());
    for (std::size_t i = 0; i < heard.size(); ++i) {
        EXPECT_NEAR(heard[i].first, expected[i].first, STEP_SECONDS / 2 + 1e-4) << i;
        EXPECT_EQ(heard[i].second, expected[i].second) << i;
    }

    // Play along takes the song of melody and chords made of it: the scale on the letters
    // s..l, the chords C F G C on z c b z, and the song waits for its first letter.
    press('-');  // minor: the song's mode puts it back to major
    press('9');
    press('5');
    ASSERT_TRUE(songPlaying());
    EXPECT_FALSE(piano->score().playing());
    EXPECT_EQ(piano->mode(), MAJOR);
    std::vector<int> right, left;
    for (const auto& entry : piano->song().rightEntries()) right.push_back(static_cast<int>(entry[1]));
    for (const auto& entry : piano->song().leftEntries()) left.push_back(static_cast<int>(entry[1]));
    EXPECT_EQ(right, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(left, (std::vector<int>{0, 2, 4, 0}));
    frames(3);
    EXPECT_EQ(piano->song().hintKey(), 7);
}

TEST(MidiBytes, TheReaderTakesEachChannelsProgramsControllersAndBendsAndWhereTheFileEnds) {
    const std::string header("MThd\0\0\0\6\0\1\0\2\0\x60", 14);  // format 1, two tracks, 96 a quarter
    auto track = [](const std::string& body) {
        const auto n = body.size();
        return std::string("MTrk") + char(n >> 24) + char((n >> 16) & 0xFF) + char((n >> 8) & 0xFF) +
               char(n & 0xFF) + body;
    };
    // A tempo, then a track ending two quarters after its last note (delta 0x81 0x40 = 192).
    const std::string tempo("\0\xFF\x51\x03\x07\xA1\x20\0\xFF\x2F\0", 11);
    const std::string parts("\0\xB2\0\x01"         // bank 1 on channel 3
                            "\0\xC2\x21"            // program 33
                            "\0\xE2\x00\x50"       // pitch bend, LSB 0, MSB 0x50
                            "\0\x92\x24\x50"       // C2, velocity 80
                            "\x60\xB2\x40\x7F"     // the pedal down a quarter on
                            "\0\x82\x24\0"         // C2 ends
                            "\x81\x40\xFF\x2F\0", 28);
    MidiScore score;
    std::string problem;
    ASSERT_TRUE(readMidiBytes(header + track(tempo) + track(parts), score, problem)) << problem;
    ASSERT_EQ(score.controls.size(), 4u);
    const struct {
        long long tick;
        MidiControl::Kind kind;
        int number, value;
    } expected[] = {{0, MidiControl::CONTROLLER, 0, 1},
                    {0, MidiControl::PROGRAM, 33, 0},
                    {0, MidiControl::PITCH_BEND, 0, 0x50 << 7},
                    {96, MidiControl::CONTROLLER, 64, 127}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(score.controls[i].tick, expected[i].tick) << i;
        EXPECT_EQ(score.controls[i].kind, expected[i].kind) << i;
        EXPECT_EQ(score.controls[i].number, expected[i].number) << i;
        EXPECT_EQ(score.controls[i].value, expected[i].value) << i;
        EXPECT_EQ(score.controls[i].channel, 2) << i;
        EXPECT_EQ(score.controls[i].track, 1) << i;
    }
    ASSERT_EQ(score.notes.size(), 1u);
    EXPECT_EQ(score.notes[0].velocity, 80);
    EXPECT_EQ(score.endTick, 96 + 192);
    MidiTimeline timeline;
    ASSERT_TRUE(timelineFromMidi(score, timeline, problem)) << problem;
    EXPECT_DOUBLE_EQ(timeline.seconds, 1.5) << "three quarters at 120 a minute";
}

TEST_F(MidiFiles, WhatIsNotAMidiFileIsRefusedWithOneLineAndWithoutWaiting) {
    SongData song;
    song.right.push_back({2, 0});
    std::string report, error;
    auto refusal = [&](const std::string& name) {
        error.clear();
        EXPECT_FALSE(importMidiSong(path(name), song, report, error)) << name;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        return error;
    };
    EXPECT_EQ(refusal("missing.mid"), "Error: Failed to open MIDI file " + path("missing.mid"));

    // A FIFO with no writer would block an ordinary open for ever.
    ASSERT_EQ(::mkfifo(path("pipe.mid").c_str(), 0600), 0);
    EXPECT_EQ(refusal("pipe.mid"), "Error: Malformed MIDI file " + path("pipe.mid") + ": it is not a regular file");
    fs::create_directories(path("folder.mid"));
    EXPECT_NE(refusal("folder.mid").find("not a regular file"), std::string::npos);

    std::ofstream(path("big.mid"), std::ios::binary) << std::string(MAX_MIDI_FILE_BYTES + 1, 'M');
    EXPECT_NE(refusal("big.mid").find("larger than 1048576 bytes"), std::string::npos) << error;

    // A name with control codes in it is shown with them escaped, on one line.
    std::ofstream(path("bell\a\n\x1b[2J.mid")) << "this is a text file, not a MIDI file";
    EXPECT_EQ(refusal("bell\a\n\x1b[2J.mid"),
              "Error: Malformed MIDI file " + path("bell\\x07\\n\\x1b[2J.mid") + ": no MIDI header (MThd)");
    EXPECT_EQ(refusal("gone\r.mid"), "Error: Failed to open MIDI file " + path("gone\\r.mid"));
    EXPECT_EQ(song.right.size(), 1u) << "a refused file leaves the song alone";
}

TEST(MidiBytes, TheCheckWalksEveryLengthTheFileGives) {
    std::string problem;
    const std::string header("MThd\0\0\0\6\0\0\0\1\0\x60", 14);
    auto track = [](const std::string& body) {
        const auto n = body.size();
        return std::string("MTrk") + char(n >> 24) + char((n >> 16) & 0xFF) + char((n >> 8) & 0xFF) +
               char(n & 0xFF) + body;
    };
    const std::string end("\0\xFF\x2F\0", 4);
    EXPECT_TRUE(checkMidiBytes(header + track(std::string("\0\x90\x3C\x40\x60\x3E\x40", 7) + end), problem))
        << "running status after a note: " << problem;
    EXPECT_TRUE(checkMidiBytes(header + track(std::string("\0\xF0\x03\x7E\x7F\xF7", 6) + end) + "trailing", problem))
        << "a system exclusive event, and bytes after the last track: " << problem;
    EXPECT_TRUE(checkMidiBytes(header + track(std::string("\0\xFF\x01\x81\x00", 5) + std::string(128, 'a') + end),
                               problem))
        << "a text of two length bytes: " << problem;
    EXPECT_FALSE(checkMidiBytes(header + track(std::string("\0\xFF\x01\x81", 4)), problem));
    EXPECT_NE(problem.find("runs past its track"), std::string::npos) << problem;
    EXPECT_FALSE(checkMidiBytes(header + track(std::string("\0\x90\x3C", 3) + end), problem));
    EXPECT_NE(problem.find("lacks its data bytes"), std::string::npos) << problem;

    // libsmf takes time growing with the square of a track's events to free them.
    std::string busy("\0\x90\x3C\x40", 4);
    for (int i = 0; i < 20000; ++i) busy += std::string("\x01\x3C", 2) + char(i % 2 ? 0x40 : 0);
    EXPECT_FALSE(checkMidiBytes(header + track(busy + end), problem));
    EXPECT_NE(problem.find("more than 20000 events"), std::string::npos) << problem;
}
