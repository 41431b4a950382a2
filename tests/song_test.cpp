// The song player on driven frames, and the reader's refusal of malformed files.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "FileWrite.h"
#include "Progress.h"
#include "NotesAhead.h"
#include "SongFile.h"
#include "Recorder.h"
#include "SongLibrary.h"
#include "app_fixture.h"

namespace fs = std::filesystem;

namespace {
// The repository, as an absolute path: the tests change their working directory.
std::string sourceDir() {
    static const std::string dir = [] {
        const char* env = std::getenv("TINKLEWOOD_SOURCE_DIR");
        return fs::absolute(env != nullptr ? env : TINKLEWOOD_SOURCE_DIR).string();
    }();
    return dir;
}
}  // namespace

// Runs each test from a scratch folder laid out as the program expects: songs are read
// from ../res/songs/ relative to the working directory.
class SongPlaying : public AppTest {
protected:
    fs::path root;
    fs::path previous;

    unsigned int baseNotes = 0, baseChords = 0;

    void SetUp() override {
        AppTest::SetUp();
        sourceDir();
        baseNotes = noteStrokes();
        baseChords = chordStrokes();
        previous = fs::current_path();
        root = fs::temp_directory_path() / ("tinklewood-songs-" + std::to_string(::getpid()) + "-" +
                                            testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(root / "work");
        fs::create_directories(root / "res" / "songs");
        fs::current_path(root / "work");
        // The user's own folder is the test's: recordings and progress land there.
        setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    }
    void TearDown() override {
        unsetenv("XDG_DATA_HOME");
        fs::current_path(previous);
        fs::remove_all(root);
        AppTest::TearDown();
    }

    unsigned int notesStarted() const { return noteStrokes() - baseNotes; }
    int frameCount() const { return song().beat() * STEPS_PER_BEAT + song().framesInBeat(); }
    void tap(unsigned char key) {
        press(key);
        release(key);
    }
    unsigned int chordsStarted() const { return chordStrokes() - baseChords; }

    void writeSong(const std::string& name, const std::string& text) {
        std::ofstream(root / "res" / "songs" / name) << text;
    }

    // What playing the song says: errors on standard error, nothing on standard output.
    std::string play(const std::string& name) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        piano->playSongFile(ResourcePaths().songs + name);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "errors belong on standard error";
        return err;
    }
};

TEST_F(SongPlaying, WorkedExampleFrameByFrame) {
    writeSong("example.song", "3\n1 0\n1 0\n2 4\n1\n4 0\n");
    EXPECT_EQ(play("example.song"), "");
    ASSERT_TRUE(songPlaying());
    ASSERT_EQ(song().rightEntries().size(), 3u);
    EXPECT_FLOAT_EQ(song().rightEntries()[2][0], 4.0f) << "end beats are running sums";
    EXPECT_EQ(currNote(), 7) << "the first letter is pressed while loading";
    EXPECT_EQ(playChord(), CEG);
    EXPECT_EQ(notesStarted(), 1u);

    for (int f = 1; f <= 5; ++f) {
        frame();
        EXPECT_TRUE(noteHeld()) << "frame " << f;
    }
    frame();  // the sixth frame of song().beat() 0: the one-song().beat() entry is released
    EXPECT_FALSE(noteHeld());
    EXPECT_FALSE(keyHeld('s'));
    frames(3);
    EXPECT_EQ(notesStarted(), 1u);
    frame();  // song().beat() 1: the second entry, the same letter, starts at once
    EXPECT_EQ(song().beat(), 1);
    EXPECT_EQ(notesStarted(), 2u);
    EXPECT_TRUE(noteHeld());
    frames(10);  // song().beat() 2: the third entry, 'g'
    EXPECT_EQ(notesStarted(), 3u);
    EXPECT_EQ(currNote(), 11);

    frames(15);  // to the fifth frame of song().beat() 3
    EXPECT_TRUE(chordHeld());
    frame();  // sixth frame of song().beat() 3: the chord and the last note are released
    EXPECT_FALSE(chordHeld());
    EXPECT_FALSE(noteHeld());
    frames(3);
    EXPECT_TRUE(songPlaying());
    frame();  // song().beat() 4: the right hand's list is exhausted
    EXPECT_FALSE(songPlaying());
    EXPECT_TRUE(song().rightEntries().empty());
    EXPECT_TRUE(song().leftEntries().empty());
}

TEST_F(SongPlaying, AnAccompanimentAloneOrOutlastingTheMelodyPlaysToItsEnd) {
    writeSong("chords.song", "0\n1 12 3\n");
    play("chords.song");
    EXPECT_EQ(currNote(), -1);
    EXPECT_EQ(playChord(), CEA);
    frames(116);  // the sixth frame of song().beat() 11
    EXPECT_TRUE(songPlaying());
    EXPECT_FALSE(chordHeld()) << "released four frames before its end";
    frames(4);
    EXPECT_FALSE(songPlaying()) << "over on the song().beat() the chord ends";

    writeSong("long.song", "1\n3 0\n4\n6 0 6 2 6 0 6 4\n");
    play("long.song");
    std::vector<int> chordBeats = {0};
    unsigned int chords = chordStrokes();
    while (songPlaying() && chordBeats.size() < 10) {
        frame();
        if (chordStrokes() != chords) chordBeats.push_back(song().beat());
        chords = chordStrokes();
    }
    EXPECT_EQ(chordBeats, (std::vector<int>{0, 6, 12, 18}));
    EXPECT_EQ(song().beat(), 24) << "the song ends with its last chord, not its last note";
    frames(30);
    EXPECT_EQ(playChord(), NONE) << "a chord the song held does not stay down after it";
}

TEST_F(SongPlaying, ASongsModeLineAndModeWordsNameTheChordsItWasMadeWith) {
    writeSong("modes.song", "minor\n2 3 0 3 0\n3\n2 0 major 2 0 2 4\n");
    press('+');
    play("modes.song");
    EXPECT_EQ(piano->mode(), MINOR) << "the song's own mode, though the user left it on major";
    EXPECT_EQ(playChord(), CEA) << "z in minor: A minor";
    std::vector<int> chords = {playChord()};
    while (songPlaying() && chords.size() < 5) {
        const unsigned int before = chordStrokes();
        frame();
        if (chordStrokes() != before) chords.push_back(playChord());
    }
    EXPECT_EQ(chords, (std::vector<int>{CEA, CEG, DGB})) << "z in major after the mode word, then b in major";
}

TEST_F(SongPlaying, ASongMarkedMinorSoundsItsMinorChordsSamplesWithTheUserOnMajor) {
    writeSong("tune.song", "minor\n2 4 0 4 2\n2\n4 0 4 4\n");
    press('+');
    sound.take();
    play("tune.song");
    // The samples of the left hand's keys, C3 to B3 and their black keys, in the order started.
    std::vector<std::string> chords;
    auto heard = [&] {
        for (const auto& c : sound.take()) {
            const std::string name = c.path.substr(c.path.rfind('/') + 1);
            const bool white = name.size() == 6 && name[1] == '0';
            const bool black = name.rfind("Black", 0) == 0 && name[5] <= '4';
            if (c.op == "play" && (white || black)) chords.push_back(name);
        }
    };
    for (heard(); songPlaying(); heard()) frame();
    ASSERT_EQ(chords.size(), 6u);
    std::sort(chords.begin(), chords.begin() + 3);
    std::sort(chords.begin() + 3, chords.end());
    EXPECT_EQ(chords, (std::vector<std::string>{"A0.mp3", "C0.mp3", "E0.mp3", "B0.mp3", "Black3.mp3", "E0.mp3"}))
        << "z in minor is A minor (C3 E3 A3), b is E major (E3 G#3 B3)";
}

TEST_F(SongPlaying, OneBeatEntriesEachSoundInOrderOnTheirBeat) {
    writeSong("quick.song", "9\n1 0 1 1 1 2 1 3 1 4 1 5 1 6 1 7 2 0\n0\n");
    play("quick.song");
    std::vector<std::pair<std::string, int>> starts;  // sample, frame
    for (int f = 1; f <= 120 && (songPlaying() || currNote() >= 0); ++f) {
        frame();
        for (const auto& c : sound.take())
            if (c.op == "play") starts.push_back({c.path.substr(c.path.rfind('/') + 1), f});
    }
    const char* expected[] = {"C1.mp3", "D1.mp3", "E1.mp3", "F1.mp3", "G1.mp3", "A1.mp3", "B1.mp3", "C2.mp3", "C1.mp3"};
    ASSERT_EQ(starts.size(), 9u);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(starts[i].first, expected[i]) << i;
        // Pressed on the frame its song().beat() starts (the first while loading), struck before the
        // letter goes up six frames into the song().beat().
        EXPECT_GT(starts[i].second, 10 * i) << i;
        EXPECT_LE(starts[i].second, 10 * i + 6) << i;
    }
    // A two-song().beat() entry keeps the full stroke: struck on the tenth frame after its press.
    EXPECT_EQ(starts[8].first, "C1.mp3");
    EXPECT_EQ(starts[8].second, 80 + 10);
}

TEST_F(SongPlaying, AnEmptySongSaysSoAndChangesNothing) {
    writeSong("good.song", "2 3 0 3 1\n0\n");
    writeSong("empty.song", "0\n0\n");
    play("good.song");
    frames(5);
    EXPECT_EQ(play("empty.song"), "Error: Song file ../res/songs/empty.song has no notes to play\n");
    EXPECT_TRUE(songPlaying());
    EXPECT_EQ(song().framesInBeat(), 5);
}

TEST_F(SongPlaying, OnlyARegularFileIsReadAPipeOrDeviceIsRefusedAtOnce) {
    writeSong("good.song", "2 3 0 3 1\n0\n");
    const fs::path songs = root / "res" / "songs";
    ASSERT_EQ(mkfifo((songs / "pipe.song").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", songs / "zero.song");
    fs::create_symlink("/dev/urandom", songs / "random.song");
    fs::create_directory(songs / "folder.song");
    play("good.song");
    frames(5);
    for (const char* name : {"pipe.song", "zero.song", "random.song", "folder.song"}) {
        // A pipe nobody writes to would block a reader that waited; /dev/zero never ends.
        const std::string out = play(name);
        EXPECT_EQ(out, std::string("Error: Malformed song file ../res/songs/") + name +
                           ": it is not a readable file of at most 1048576 bytes\n");
        EXPECT_TRUE(songPlaying()) << name;
        EXPECT_EQ(song().framesInBeat(), 5) << name;
    }
}

TEST_F(SongPlaying, ShortLeftListLeavesTheLeftHandIdle) {
    writeSong("short.song", "2 3 0 3 1\n1 2 4\n");
    play("short.song");
    frames(30);
    EXPECT_EQ(playChord(), NONE);
    EXPECT_EQ(chordsStarted(), 1u);
    EXPECT_TRUE(songPlaying());
    frames(30);
    EXPECT_FALSE(songPlaying());
    EXPECT_EQ(notesStarted(), 2u);
}

TEST_F(SongPlaying, SongKeyRestartsASongInProgress) {
    writeSong(std::string(FIRST_SONG), "2 4 0 4 7\n1 8 2\n");
    press('5');
    frames(10);  // the first note is held down by the song
    ASSERT_TRUE(noteHeld());
    press('5');
    EXPECT_EQ(song().beat(), 0);
    EXPECT_EQ(song().framesInBeat(), 0);
    EXPECT_EQ(notesStarted(), 2u) << "the restarted song's first note plays at once";
    EXPECT_EQ(chordsStarted(), 2u);
    frames(50);
    EXPECT_EQ(notesStarted(), 3u);
    frames(40);
    EXPECT_FALSE(songPlaying());
    frames(30);
    EXPECT_EQ(currNote(), -1) << "nothing is left held by the first run";
    EXPECT_EQ(playChord(), NONE);
}

TEST_F(SongPlaying, MissingFileIsReportedAndTheSongInProgressGoesOn) {
    writeSong("good.song", "2 3 0 3 1\n0\n");
    play("good.song");
    frames(5);
    const std::string out = play("nothere.song");
    EXPECT_EQ(out, "Error: Failed to open song file ../res/songs/nothere.song\n");
    EXPECT_TRUE(songPlaying());
    EXPECT_EQ(song().framesInBeat(), 5);
}

TEST_F(SongPlaying, TheUsersHeldNoteMakesTheSongsPressBeIgnored) {
    writeSong("user.song", "2 2 1 2 2\n0\n");
    press('s');  // the user holds middle C
    play("user.song");
    EXPECT_EQ(currNote(), 7);
    EXPECT_EQ(notesStarted(), 1u);
    frames(20);  // song().beat() 2: the song's second press
    EXPECT_EQ(currNote(), 7);
    EXPECT_TRUE(noteHeld()) << "the user's note is not ended by the song";
    EXPECT_EQ(notesStarted(), 1u);
}

TEST_F(SongPlaying, EveryEntryOfTwinkleIsPlayedOnItsBeat) {
    fs::copy_file(sourceDir() + "/res/songs/twinkle.song", root / "res" / "songs" / "twinkle.song");
    std::ifstream in(root / "res" / "songs" / "twinkle.song");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SongData data;
    std::string error;
    ASSERT_TRUE(parseSong(text, 13, 5, data, error)) << error;
    ASSERT_GT(data.right.size(), 30u);

    press('5');
    std::vector<int> noteBeats = {0}, chordBeats = {0};
    unsigned int notes = noteStrokes(), chords = chordStrokes();
    int frameCount = 0;
    int sampleStarts = 0;
    while (songPlaying() && frameCount < 100000) {
        frame();
        ++frameCount;
        if (noteStrokes() != notes) noteBeats.push_back(song().beat());
        if (chordStrokes() != chords) chordBeats.push_back(song().beat());
        notes = noteStrokes();
        chords = chordStrokes();
    }
    for (const auto& c : sound.calls) sampleStarts += c.op == "play";
    ASSERT_EQ(noteBeats.size(), data.right.size());
    ASSERT_EQ(chordBeats.size(), data.left.size());
    for (size_t i = 1; i < data.right.size(); ++i) EXPECT_EQ(noteBeats[i], data.right[i - 1][0]);
    for (size_t i = 1; i < data.left.size(); ++i) EXPECT_EQ(chordBeats[i], data.left[i - 1][0]);
    // Every note sounds, and three samples for every chord.
    EXPECT_EQ(sampleStarts, static_cast<int>(data.right.size() + 3 * data.left.size()));
}

// Malformed songs: each is refused whole, with one line naming the file and the problem,
// and nothing changes.
class MalformedSongs : public SongPlaying, public testing::WithParamInterface<std::string> {};

TEST_P(MalformedSongs, AreRefusedWithOneLineAndNoChange) {
    const fs::path corpus = fs::path(sourceDir()) / "tests" / "songs" / GetParam();
    fs::copy_file(corpus, root / "res" / "songs" / "bad.song");
    writeSong("good.song", "3 3 0 3 1 3 2\n1 9 0\n");
    play("good.song");
    frames(12);
    const int framesBefore = song().framesInBeat(), beatBefore = song().beat();
    const unsigned notesBefore = notesStarted();

    const std::string out = play("bad.song");
    EXPECT_EQ(out.rfind("Error: Malformed song file ../res/songs/bad.song: ", 0), 0u) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    for (char c : out) EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7f)) << "control code in the message";
    EXPECT_TRUE(songPlaying());
    EXPECT_EQ(song().framesInBeat(), framesBefore);
    EXPECT_EQ(song().beat(), beatBefore);
    EXPECT_EQ(notesStarted(), notesBefore);
    EXPECT_EQ(song().rightEntries().size(), 3u);
}

namespace {
std::vector<std::string> corpusFiles() {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(fs::path(sourceDir()) / "tests" / "songs", error))
        if (entry.path().extension() == ".song") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}
}  // namespace

INSTANTIATE_TEST_SUITE_P(Corpus, MalformedSongs, testing::ValuesIn(corpusFiles()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param.substr(0, info.param.size() - 5);
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

TEST(SongReader, AcceptsWhatTheFormatAllows) {
    SongData song;
    std::string error;
    ASSERT_TRUE(parseSong("", 13, 5, song, error)) << "an empty file is an empty song";
    EXPECT_TRUE(song.right.empty());
    ASSERT_TRUE(parseSong("2 1 0\n2.0 12\n", 13, 5, song, error)) << "no left-hand count: none";
    EXPECT_FLOAT_EQ(song.right[1][0], 3.0f);
    EXPECT_FLOAT_EQ(song.right[1][1], 12.0f);
    ASSERT_TRUE(parseSong("1 1 0 1 1 4 trailing words are not read", 13, 5, song, error)) << error;
    EXPECT_EQ(song.left.size(), 1u);
}

TEST(SongReader, HugeCountsAreRefusedWithoutWorkForTheMissingEntries) {
    SongData song;
    std::string error;
    EXPECT_FALSE(parseSong("2000000000 1 0", 13, 5, song, error));
    EXPECT_NE(error.find("announces"), std::string::npos) << error;
    EXPECT_FALSE(parseSong("1e300 1 0", 13, 5, song, error));
}

TEST(SongReader, ModeLineAndModeWordsBeforeLeftEntries) {
    SongData song;
    std::string error;
    ASSERT_TRUE(parseSong("2 1 0 1 1\n1 2 4\n", 13, 5, song, error)) << error;
    EXPECT_FALSE(song.startMode) << "a file without a mode line leaves the mode alone";
    EXPECT_TRUE(song.modeChanges.empty());

    ASSERT_TRUE(parseSong("minor\n1 2 0\n3\n1 0 major 1 4\nminor 1 1\n", 13, 5, song, error)) << error;
    ASSERT_TRUE(song.startMode);
    EXPECT_EQ(*song.startMode, MINOR);
    ASSERT_EQ(song.left.size(), 3u) << "mode words are not counted as entries";
    EXPECT_FLOAT_EQ(song.left[2][0], 3.0f);
    EXPECT_FLOAT_EQ(song.left[1][1], 4.0f);
    const std::vector<std::pair<std::size_t, Mode>> changes = {{1, MAJOR}, {2, MINOR}};
    EXPECT_EQ(song.modeChanges, changes);

    ASSERT_TRUE(parseSong("major 0 1 minor 2 3", 13, 5, song, error)) << error;
    EXPECT_EQ(*song.startMode, MAJOR);
    EXPECT_EQ(song.modeChanges, (std::vector<std::pair<std::size_t, Mode>>{{0, MINOR}}))
        << "a change before the first chord";
    ASSERT_TRUE(parseSong("major", 13, 5, song, error)) << "a mode line alone is an empty song";
    EXPECT_TRUE(song.right.empty());
}

TEST(SongReader, ModeWordsInTheWrongPlaceAreRefused) {
    SongData song;
    song.right.push_back({1, 0});
    std::string error;
    struct Case { const char* text; const char* problem; };
    const Case cases[] = {
        {"major minor 1 1 0 0", "count \"minor\" is not a whole number"},
        {"1 major 1 0 0", "right hand entry 1: duration \"major\" is not a number"},
        {"1 1 0 major 1 1 0", "left hand's count \"major\" is not a whole number"},
        {"1 1 0 1 1 minor 0", "left hand entry 1: index \"minor\" is not a number"},
        {"1 1 0 2 1 0 major minor 1 1", "left hand entry 2: two mode words in a row"},
        {"1 1 0 2 1 0 minor", "left hand announces 2 entries but 1 follow"},
        {"1 1 0 1 Major 1 0", "duration \"Major\" is not a number"},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(parseSong(c.text, 13, 5, song, error)) << c.text;
        EXPECT_NE(error.find(c.problem), std::string::npos) << c.text << ": " << error;
    }
    EXPECT_EQ(song.right.size(), 1u) << "a refused file leaves the song alone";
    EXPECT_FALSE(song.startMode);
}

TEST(SongReader, FormattedSongsReadBackTheSame) {
    SongData song;
    song.startMode = MINOR;
    song.right = {{2, 0}, {6, 12}, {8, 7.5f}};  // the reader takes a fractional index too
    song.left = {{4, 0}, {6, 4}, {8, 1}};
    song.modeChanges = {{0, MINOR}, {2, MAJOR}};
    std::vector<SongData> songs = {song, SongData{}};
    // The committed songs too: each must survive being written out and read again.
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(sourceDir()) / "res" / "songs", ec)) {
        std::ifstream in(entry.path());
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        SongData read;
        std::string error;
        ASSERT_TRUE(parseSong(text, 13, 5, read, error)) << entry.path() << ": " << error;
        songs.push_back(read);
    }
    ASSERT_GT(songs.size(), 10u);
    for (const SongData& original : songs) {
        const std::string text = formatSong(original);
        SongData back;
        std::string error;
        ASSERT_TRUE(parseSong(text, 13, 5, back, error)) << text << error;
        EXPECT_EQ(back.right, original.right) << text;
        EXPECT_EQ(back.left, original.left) << text;
        EXPECT_EQ(back.startMode, original.startMode) << text;
        EXPECT_EQ(back.modeChanges, original.modeChanges) << text;
    }
    EXPECT_EQ(formatSong(song).rfind("minor\n3\n2 0\n4 12\n", 0), 0u) << formatSong(song);
}

// The song library: titles, the order "6" steps in, and what "5" then plays.
TEST(SongTitles, ComeFromTheFileName) {
    EXPECT_EQ(songTitle("ode_to_joy.song"), "Ode to Joy");
    EXPECT_EQ(songTitle("au_clair_de_la_lune.song"), "Au Clair de la Lune");
    EXPECT_EQ(songTitle("when_the_saints_go_marching_in.song"), "When the Saints Go Marching In");
    EXPECT_EQ(songTitle("the_entertainer.mid"), "The Entertainer");
    EXPECT_EQ(songTitle("twinkle.song"), "Twinkle");
    EXPECT_EQ(songTitle("2026-12-08_15-30-00.song"), "2026-12-08 15-30-00");
    // The caption shows the title: a name's control codes must not reach it raw.
    EXPECT_EQ(songTitle("bell\a_of_a\nline.song"), "Bell\\x07 of A\\nline");
    EXPECT_EQ(songTitle("fr\xc3\xa8re_jacques.song"), "Fr\xc3\xa8re Jacques");
}

class SongChooser : public SongPlaying {
protected:
    fs::path userSongs;
    void SetUp() override {
        SongPlaying::SetUp();
        userSongs = root / "data" / "tinklewood" / "songs";
    }
    std::string chosenTitle() { return piano->chosenSong() ? piano->chosenSong()->title : ""; }
};

TEST_F(SongChooser, SixStepsThroughTheShippedSongsTwinkleFirstThenTheUsersThenWraps) {
    writeSong("twinkle.song", "2 3 0 3 1\n0\n");
    writeSong("b_song.song", "2 3 2 3 3\n0\n");
    writeSong("a_tune.mid", "not read until chosen");
    writeSong("notes.txt", "not a song");
    fs::create_directories(userSongs);
    std::ofstream(userSongs / "mine.song") << "1 3 4\n0\n";
    fs::create_directory(root / "res" / "songs" / "folder.song");

    std::vector<std::string> titles;
    for (int i = 0; i < 5; ++i) {
        testing::internal::CaptureStdout();
        press('6');
        testing::internal::GetCapturedStdout();
        titles.push_back(chosenTitle());
    }
    EXPECT_EQ(titles, (std::vector<std::string>{"A Tune", "B Song", "Mine", "Twinkle", "A Tune"}));
    EXPECT_EQ(caption(), "A Tune - cannot be played") << "a MIDI file that is none says so when chosen";
    clock.advance(CAPTION_SECONDS + 0.01);
    EXPECT_EQ(caption(), "") << "the caption goes after its time";

    // A song the user drops in while the program runs is there at the next "6".
    std::ofstream(userSongs / "new.song") << "1 3 4\n0\n";
    press('6');
    press('6');
    press('6');
    EXPECT_EQ(chosenTitle(), "New");
}

// What looks like a song in either folder but cannot be played is left out of the list and
// told in one printable line each, at every listing.
TEST_F(SongChooser, WhatCannotBeASongIsLeftOutAndToldByNameAndWhy) {
    const fs::path shipped = root / "res" / "songs";
    writeSong("twinkle.song", "2 3 0 3 1\n0\n");
    fs::create_directories(userSongs);
    std::ofstream(userSongs / "mine.song") << "1 3 4\n0\n";
    fs::create_directory(shipped / "folder.song");
    fs::create_symlink("nowhere.song", userSongs / "dangling.song");
    fs::create_symlink("loop_b.mid", userSongs / "loop_a.mid");
    fs::create_symlink("loop_a.mid", userSongs / "loop_b.mid");
    ASSERT_EQ(::mkfifo((userSongs / "pipe.mid").c_str(), 0600), 0);
    std::ofstream(userSongs / "bad\n\x1b[2Jname.song") << "1 3 4\n0\n";
    fs::create_symlink("bad\n\x1b[2Jname.song", userSongs / "link\a.song");  // a link to a song is one
    std::ofstream(userSongs / "locked.song") << "1 3 4\n0\n";
    fs::permissions(userSongs / "locked.song", fs::perms::none);
    // Root reads every file whatever its permissions: that one case cannot happen then.
    const bool lockedUnreadable = ::access((userSongs / "locked.song").c_str(), R_OK) != 0;

    std::vector<std::string> problems;
    std::vector<std::string> titles;
    for (const SongEntry& song : listSongs("../res/songs/", "twinkle.song", userSongs.string(), &problems))
        titles.push_back(song.title);
    std::vector<std::string> expectedTitles = {"Twinkle", "Bad\\n\\x1b[2Jname", "Link\\x07"};
    if (!lockedUnreadable) expectedTitles.push_back("Locked");
    expectedTitles.push_back("Mine");
    EXPECT_EQ(titles, expectedTitles);

    const std::string user = userSongs.string() + "/";
    std::vector<std::string> expected = {
        "Song file ../res/songs/folder.song left out: it is a folder",
        "Song file " + user + "dangling.song left out: it is a link to nothing",
        "Song file " + user + "loop_a.mid left out: its links go round in a loop",
        "Song file " + user + "loop_b.mid left out: its links go round in a loop",
        "Song file " + user + "pipe.mid left out: it is not a regular file",
    };
    if (lockedUnreadable)
        expected.insert(expected.begin() + 2, "Song file " + user + "locked.song left out: it cannot be read: Permission denied");
    EXPECT_EQ(problems, expected);

    // The program tells them on standard error, each time "6" lists the songs.
    for (int listing = 0; listing < 2; ++listing) {
        testing::internal::CaptureStderr();
        press('6');
        const std::string told = testing::internal::GetCapturedStderr();
        std::string all;
        for (const std::string& line : expected) all += line + "\n";
        EXPECT_EQ(told, all) << "listing " << listing;
    }
    // Without a place for them, the list is the same.
    EXPECT_EQ(listSongs("../res/songs/", "twinkle.song", userSongs.string()).size(), expectedTitles.size());
}

TEST_F(SongChooser, AMissingUsersFolderIsNoProblemButOneThatCannotBeReadIsTold) {
    writeSong("twinkle.song", "2 3 0 3 1\n0\n");
    std::vector<std::string> problems;
    EXPECT_EQ(listSongs("../res/songs/", "twinkle.song", (root / "no_such_folder").string(), &problems).size(), 1u);
    EXPECT_EQ(problems, std::vector<std::string>{});
    std::ofstream(root / "a_file") << "not a folder";
    EXPECT_EQ(listSongs("../res/songs/", "twinkle.song", (root / "a_file").string(), &problems).size(), 1u);
    EXPECT_EQ(problems, std::vector<std::string>{"Songs folder " + (root / "a_file").string() +
                                                 " cannot be read: Not a directory"});
}

TEST_F(SongChooser, FivePlaysTheChosenSongAndWithoutSixPlaysTwinkleAsBefore) {
    writeSong("twinkle.song", "2 3 0 3 1\n0\n");
    writeSong("second.song", "1 3 7\n1 3 4\n");
    press('5');
    EXPECT_EQ(currNote(), 7) << "twinkle's first note";
    EXPECT_EQ(caption(), "Twinkle - playing");
    frames(80);
    ASSERT_FALSE(songPlaying());

    press('6');
    EXPECT_EQ(caption(), "Second - 5 to play");
    EXPECT_FALSE(songPlaying()) << "choosing does not play";
    press('5');
    EXPECT_TRUE(songPlaying());
    EXPECT_EQ(currNote(), 14) << "the chosen song's first note";
    EXPECT_EQ(playChord(), DGB);
    EXPECT_EQ(caption(), "Second - playing");

    // Chosen, then spoiled: "5" refuses it as it refuses any malformed song.
    writeSong("second.song", "1 3 99\n0\n");
    frames(40);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    press('5');
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(err.rfind("Error: Malformed song file ../res/songs/second.song: ", 0), 0u) << err;
    EXPECT_EQ(caption(), "cannot play second.song: not a song file") << "for a user with no terminal";

    // A name that would take the terminal over comes out as plain text, on screen too.
    const std::string odd = "bell\x07\x1b[2Jname.song";
    writeSong(odd, "1 3 99\n0\n");
    testing::internal::CaptureStderr();
    piano->playSongFile(ResourcePaths().songs + odd);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.find('\x1b'), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);
    EXPECT_EQ(caption(), "cannot play bell\\x07\\x1b[2Jname.song: not a song file");
}

TEST_F(SongChooser, CaptionsForModeAndInstrumentAndNoneOtherwise) {
    press('s');
    press('2');
    EXPECT_EQ(caption(), "") << "playing and options say nothing";
    press('-');
    EXPECT_EQ(caption(), "minor chords");
    press('+');
    EXPECT_EQ(caption(), "major chords");
    press(' ');
    EXPECT_EQ(caption(), "synth");
    press('8');
    EXPECT_TRUE(piano->lettersOn());
    press('8');
    EXPECT_FALSE(piano->lettersOn());
}

// Playing along: the right-hand part is the player's; the song waits for it.
class PlayAlong : public SongPlaying {
protected:
    void SetUp() override {
        SongPlaying::SetUp();
        // C, E and G of two, two and four beats over C and then G major.
        writeSong(std::string(FIRST_SONG), "3\n2 0 2 2 4 4\n2\n4 0 4 4\n");
        press('9');
        press('5');
    }
};

TEST_F(PlayAlong, TurnedOffPartWayTheSongGoesOnByItselfFromWhereItStands) {
    // Waiting for its first letter, the right hand given up for the left: the song starts
    // there, both hands played by the program, the left to be played along from the next song.
    frames(30);
    press('9');
    EXPECT_EQ(caption(), "play along: left hand from the next song");
    EXPECT_EQ(currNote(), 7);
    EXPECT_EQ(playChord(), CEG);
    EXPECT_EQ(song().hintKey(), -1) << "no letter shown any more";
    std::vector<int> notes = {currNote()};
    for (int i = 0; i < 600 && songPlaying(); ++i) {
        const unsigned int before = noteStrokes();
        frame();
        if (noteStrokes() != before) notes.push_back(currNote());
    }
    EXPECT_FALSE(songPlaying()) << "the song froze, waiting for a letter";
    EXPECT_EQ(notes, (std::vector<int>{7, 9, 11})) << "every entry, played by the program";
}

TEST_F(PlayAlong, TurnedOffWhileWaitingForALaterLetterTheSongPlaysItAndGoesOn) {
    tap('s');
    frames(3 * STEPS_PER_BEAT);  // E was due on beat 2: the counter waits a beat past it
    ASSERT_TRUE(songPlaying());
    const int stood = frameCount();
    frames(20);
    ASSERT_EQ(frameCount(), stood) << "waiting for f";
    press('9');
    EXPECT_EQ(currNote(), 9) << "the waited-for E sounds at once";
    frames(STEPS_PER_BEAT);
    EXPECT_GT(frameCount(), stood) << "and the beat counter runs again";
    press('9');
    press('9');
    EXPECT_EQ(caption(), "the program plays") << "both, then off: nothing more to give up";
    for (int i = 0; i < 600 && songPlaying(); ++i) frame();
    EXPECT_FALSE(songPlaying()) << "the song froze, waiting for a letter";
    EXPECT_EQ(sound.count("play"), 3 + 6) << "C, E and G, and the two chords";
}

TEST_F(PlayAlong, NothingSoundsUntilThePlayerPlaysTheFirstShownLetter) {
    EXPECT_TRUE(songPlaying());
    EXPECT_EQ(song().hintKey(), 7) << "middle C is shown first";
    frames(180);
    EXPECT_EQ(frameCount(), 0) << "the song().beat() counter waits";
    EXPECT_EQ(currNote(), -1);
    EXPECT_EQ(playChord(), NONE) << "the accompaniment waits too";
    EXPECT_EQ(sound.count("play"), 0);
    tap('s');
    EXPECT_EQ(currNote(), 7) << "played as typing plays it";
    EXPECT_EQ(playChord(), CEG) << "the song starts with the player's note";
    EXPECT_EQ(song().hintKey(), 9) << "E is shown next";
}

TEST_F(PlayAlong, KeepingTheTempoTheCounterNeverStops) {
    tap('s');
    frames(2 * STEPS_PER_BEAT - 4);  // E a little early
    tap('f');
    frames(10);
    EXPECT_EQ(frameCount(), 2 * STEPS_PER_BEAT + 6);
    frames(4 * STEPS_PER_BEAT + 3 - frameCount());  // G a little late, within its song().beat()
    EXPECT_EQ(frameCount(), 4 * STEPS_PER_BEAT + 3);
    tap('h');
    EXPECT_EQ(playChord(), DGB) << "the second chord came on its song().beat()";
    frames(4 * STEPS_PER_BEAT - 3);
    EXPECT_FALSE(songPlaying());
    // E came 4 steps early, G 3 late: on average half a step early, timed on the clock.
    EXPECT_EQ(caption(), "right first time 3 of 3 (100%), wrong letters 0, longest wait 0.0 s, "
                         "on average 8 ms early - the best so far");
}

TEST_F(PlayAlong, LateByMoreThanABeatTheCounterStopsAChordInTheWaitStartsOnResume) {
    tap('s');
    frames(3 * STEPS_PER_BEAT);
    const int stoppedAt = frameCount();
    EXPECT_LT(stoppedAt, 3 * STEPS_PER_BEAT) << "stopped a song().beat() after E was due";
    frames(120);  // two seconds of waiting
    EXPECT_EQ(frameCount(), stoppedAt);
    const unsigned int chordsBefore = chordsStarted();

    tap('g');  // wrong: F sounds, the song waits on
    EXPECT_EQ(song().hintKey(), 9);
    frames(20);
    EXPECT_EQ(frameCount(), stoppedAt);
    EXPECT_EQ(sound.calls.back().path, "../res/sounds/piano/F1.mp3");

    tap('f');
    frames(4 * STEPS_PER_BEAT - stoppedAt);  // the counter runs again: the G chord's song().beat()
    EXPECT_EQ(chordsStarted(), chordsBefore + 1) << "the chord of song().beat() 4 starts after the wait, on its song().beat()";
    EXPECT_EQ(playChord(), DGB);
    tap('h');
    while (songPlaying()) frame();
    const std::string count = caption();
    EXPECT_EQ(count.rfind("right first time 2 of 3 (66%), wrong letters 1, longest wait 2.", 0), 0u) << count;
}

TEST_F(PlayAlong, OffEverySongPlaysAsBefore) {
    piano->stopSong();
    // The fixture chose the right hand; "9" then steps through the left, both, and off.
    EXPECT_EQ(song().playAlong(), SongPlayer::ALONG_RIGHT);
    for (const char* told : {"play along: left hand", "play along: both hands", "the program plays"}) {
        tap('9');
        EXPECT_EQ(caption(), told);
    }
    press('5');
    EXPECT_EQ(currNote(), 7) << "the song presses its own first note";
    EXPECT_EQ(song().hintKey(), -1);
    frames(2 * STEPS_PER_BEAT);
    EXPECT_EQ(currNote(), 9);
}

TEST_F(PlayAlong, WithTheLeftHandTheChordsWaitForTheirLettersAndTheMelodyPlaysByItself) {
    piano->stopSong();
    tap('9');  // the left hand
    press('5');
    EXPECT_EQ(song().hintKey(), -1);
    EXPECT_EQ(song().hintChord(), CEG);
    EXPECT_EQ(piano->scene().hintChord, CEG) << "shown as the right hand's next letter is";
    frames(60);
    EXPECT_EQ(sound.count("play"), 0) << "nothing sounds before the first chord letter";
    const unsigned int chords = chordStrokes();
    tap('z');
    EXPECT_EQ(currNote(), 7) << "the melody starts with the player's chord";
    EXPECT_EQ(chordStrokes(), chords + 1) << "the player's own chord";
    EXPECT_EQ(song().hintChord(), DGB);
    frames(2 * STEPS_PER_BEAT);
    EXPECT_EQ(currNote(), 9) << "the melody goes on by itself";
    frames(3 * STEPS_PER_BEAT);  // the G major chord was due on beat 4
    EXPECT_EQ(currNote(), 11);
    EXPECT_TRUE(song().waiting());
    EXPECT_EQ(frameCount(), 5 * STEPS_PER_BEAT - 1) << "stopped a beat after the chord was due";
    EXPECT_EQ(chordStrokes(), chords + 1) << "the song plays no chord of its own";
    tap('b');
    EXPECT_FALSE(song().waiting());
    EXPECT_EQ(chordStrokes(), chords + 2);
    while (songPlaying()) frame();
    EXPECT_EQ(caption().rfind("right first time 2 of 2 (100%), wrong letters 0, longest wait 0.0 s", 0), 0u)
        << caption();
}

TEST_F(PlayAlong, WithBothHandsTheSongWaitsForTheDueLetterAndTheDueChord) {
    piano->stopSong();
    tap('9');
    tap('9');  // both hands
    press('5');
    EXPECT_EQ(song().hintKey(), 7);
    EXPECT_EQ(song().hintChord(), CEG);
    tap('s');
    frames(30);
    EXPECT_EQ(frameCount(), 0) << "the first chord is due too";
    EXPECT_EQ(song().hintKey(), 9);
    EXPECT_EQ(noteStrokes(), baseNotes + 1);
    EXPECT_EQ(chordStrokes(), baseChords) << "the song plays neither hand";
    tap('z');
    frames(2 * STEPS_PER_BEAT);
    tap('f');
    frames(2 * STEPS_PER_BEAT);  // beat 4: G and the G major chord
    tap('h');
    frames(2 * STEPS_PER_BEAT);
    EXPECT_EQ(frameCount(), 5 * STEPS_PER_BEAT - 1) << "a beat late, the chord stops the song";
    tap('x');  // D minor: wrong
    for (int key : CHORD_NOTES[DFA])
        EXPECT_EQ(piano->scene().feedback[static_cast<std::size_t>(key)].kind, KeyFeedback::WRONG) << key;
    EXPECT_TRUE(song().waiting());
    tap('b');
    for (int key : CHORD_NOTES[DGB])
        EXPECT_EQ(piano->scene().feedback[static_cast<std::size_t>(key)].kind, KeyFeedback::RIGHT) << key;
    while (songPlaying()) frame();
    frames(30);  // the last chord waits for the wrong one's stroke
    EXPECT_EQ(chordStrokes(), baseChords + 3) << "the player's three chords";
    // The song stood still from the ninth step of beat 4 to the right chord, 11 steps later.
    EXPECT_EQ(caption().rfind("right first time 4 of 5 (80%), wrong letters 1, longest wait 0.2 s, on time on average", 0),
              0u) << caption();
}

TEST_F(PlayAlong, AKeyPlayedRightShinesGreenAWrongOneRedForAMoment) {
    tap('g');  // F, not C
    const int f = noteIndexKey(3);
    Scene shown = piano->scene();
    EXPECT_EQ(shown.feedback[static_cast<std::size_t>(f)].kind, KeyFeedback::WRONG);
    EXPECT_FLOAT_EQ(shown.feedback[static_cast<std::size_t>(f)].age, 0);
    frames(30);  // F's stroke is over; its colour still fades
    EXPECT_FALSE(piano->noteStroke().busy());
    shown = piano->scene();
    EXPECT_NEAR(shown.feedback[static_cast<std::size_t>(f)].age, 0.5, 1e-3);
    EXPECT_TRUE(piano->animating()) << "frames are drawn while it fades";
    frames(8);
    EXPECT_EQ(piano->scene().feedback[static_cast<std::size_t>(f)].kind, KeyFeedback::NONE);
    frames(30);
    EXPECT_FALSE(piano->animating()) << "the song waits and nothing moves";

    tap('s');
    shown = piano->scene();
    EXPECT_EQ(shown.feedback[7].kind, KeyFeedback::RIGHT);
    for (std::size_t k = 0; k < shown.feedback.size(); ++k) {
        if (k != 7) {
            EXPECT_EQ(shown.feedback[k].kind, KeyFeedback::NONE) << k;
        }
    }
    tap('k');
    EXPECT_EQ(piano->scene().feedback[static_cast<std::size_t>(noteIndexKey(6))].kind, KeyFeedback::WRONG);
    tap('f');  // more than a beat before E's time: neither right nor wrong
    EXPECT_EQ(piano->scene().feedback[9].kind, KeyFeedback::NONE) << "E's time has not come";

    // A colour that ends by the clock between two frames is still drawn gone: the piano goes
    // on animating until the frame that shows it gone, or the window, resting, would keep the
    // last colour (and the shown letter's key would not shine again) until something moved.
    frames(60);
    ASSERT_FALSE(piano->animating());
    tap('k');
    clock.advance(STEP_SECONDS / 3);  // again, between two frames
    tap('k');
    const std::size_t k = static_cast<std::size_t>(noteIndexKey(6));
    while (piano->scene().feedback[k].age + STEP_SECONDS < FEEDBACK_SECONDS)
        frame(piano->secondsUntilFrame());  // woken when each frame is due, as the window is
    ASSERT_EQ(piano->scene().feedback[k].kind, KeyFeedback::WRONG);
    const double left = FEEDBACK_SECONDS - piano->scene().feedback[k].age;
    ASSERT_LT(left, piano->secondsUntilFrame());
    clock.advance((left + piano->secondsUntilFrame()) / 2);  // past the colour, short of the frame
    EXPECT_EQ(piano->scene().feedback[k].kind, KeyFeedback::NONE);
    EXPECT_TRUE(piano->animating()) << "the frame without the colour is still to be drawn";
    EXPECT_TRUE(frame(piano->secondsUntilFrame()));
    EXPECT_EQ(piano->scene().feedback[k].kind, KeyFeedback::NONE);
    frames(60);
    EXPECT_FALSE(piano->animating());
}

TEST_F(PlayAlong, PlayedAlongAPassageRestartsAtItsStartNotTheSongs) {
    tap('s');
    frames(5);
    press('\'');
    EXPECT_EQ(caption(), "passage from note 2 - ' again to end it") << "E, the letter shown";
    frames(15);
    tap('f');
    press('\'');
    EXPECT_EQ(caption(), "passage to note 3 on repeat - ' again to clear it");
    EXPECT_EQ(song().passage().startBeat, 2);
    EXPECT_EQ(song().passage().endBeat, 8);
    for (int repeat = 0; repeat < 3; ++repeat) {
        frames(4 * STEPS_PER_BEAT - frameCount());
        tap('h');
        frames(4 * STEPS_PER_BEAT);  // G's four beats: the passage's end
        EXPECT_TRUE(songPlaying());
        EXPECT_EQ(frameCount(), 2 * STEPS_PER_BEAT) << "back at the passage's start, repeat " << repeat;
        EXPECT_EQ(song().hintKey(), 9) << "E is shown again, not C";
        EXPECT_EQ(playChord(), CEG) << "the chord sounding at the passage's start, again";
        tap('f');
    }
    press('\'');
    EXPECT_EQ(caption(), "passage cleared: the song goes on");
    frames(4 * STEPS_PER_BEAT - frameCount());
    tap('h');
    while (songPlaying()) frame();
    EXPECT_EQ(caption().rfind("right first time 9 of 9 (100%)", 0), 0u) << caption();
}

TEST_F(PlayAlong, APassageEndingWithASongPlayedAlongRepeatsToo) {
    piano->stopSong();
    writeSong(std::string(FIRST_SONG), "3\n2 0 2 2 2 4\n0\n");  // C E G, the melody alone
    press('5');
    tap('s');
    frames(2 * STEPS_PER_BEAT);
    press('\'');  // from E, the letter shown
    tap('f');
    frames(2 * STEPS_PER_BEAT);
    press('\'');  // to G, the song's last letter
    tap('h');
    frames(2 * STEPS_PER_BEAT);
    EXPECT_TRUE(songPlaying()) << "the last letter played, the song goes on to the passage's end";
    EXPECT_EQ(frameCount(), 2 * STEPS_PER_BEAT);
    EXPECT_EQ(song().hintKey(), 9) << "E again";
}

// A run's result, and each song's best kept in the user's progress file.
TEST_F(PlayAlong, ARunsResultIsKeptAsTheSongsBestAndShownWhenTheSongIsChosenAgain) {
    const fs::path file = root / "data" / "tinklewood" / "progress";
    auto run = [&](int wrong) {
        if (!songPlaying()) tap('5');
        tap('s');
        while (frameCount() < 2 * STEPS_PER_BEAT) frame();
        for (int w = 0; w < wrong; ++w) tap('g');
        tap('f');
        while (frameCount() < 4 * STEPS_PER_BEAT) frame();
        tap('h');
        while (songPlaying()) frame();
        return caption();
    };
    auto kept = [&] {
        std::ifstream in(file);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    char today[16];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(today, sizeof today, "%Y-%m-%d", &local);

    EXPECT_EQ(run(1), "right first time 2 of 3 (66%), wrong letters 1, longest wait 0.0 s, on time on average "
                      "- the best so far");
    const std::string first = kept();
    ASSERT_EQ(first.rfind("# ", 0), 0u) << "it says what it holds";
    EXPECT_NE(first.find("\n2\t3\t1\t0\t2\t0\t100\tright\t" + std::string(today) + "\ttwinkle.song\n"),
              std::string::npos) << first;

    auto endsWith = [](const std::string& text, const std::string& end) {
        return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
    };
    for (int i = 0; i < 4; ++i) tap('[');  // 60%
    const std::string slow = run(0);
    EXPECT_EQ(slow.rfind("right first time 3 of 3 (100%)", 0), 0u) << slow;
    EXPECT_TRUE(endsWith(slow, " - the best so far")) << slow;
    for (int i = 0; i < 4; ++i) tap(']');
    const std::string best = "best 100% right first time (right hand, tempo 60%, " + std::string(today) + ")";
    const std::string worse = run(1);
    EXPECT_TRUE(endsWith(worse, " - " + best)) << "a worse run leaves the best alone: " << worse;
    const std::string faster = run(0);
    EXPECT_TRUE(endsWith(faster, " - the best so far")) << "as good, and faster: " << faster;
    const std::string last = kept();
    EXPECT_NE(last.find("\n3\t3\t0\t0\t2\t0\t100\tright\t"), std::string::npos) << last;
    EXPECT_EQ(last.find("\n2\t3\t"), std::string::npos) << "one line a song";

    const std::string chosen =
        "Twinkle - 5 to play - best 100% right first time (right hand, tempo 100%, " + std::string(today) + ")";
    tap('6');
    EXPECT_EQ(caption(), chosen);
    piano = std::make_unique<Piano>(setup());  // the program started again
    tap('6');
    EXPECT_EQ(caption(), chosen);
}

TEST_F(PlayAlong, AProgressFileThatCannotBeReadIsNotWrittenOver) {
    const fs::path file = root / "data" / "tinklewood" / "progress";
    fs::create_directories(file);  // a folder where the file should be
    std::ofstream(file / "mine") << "kept";
    tap('s');
    frames(2 * STEPS_PER_BEAT);
    tap('f');
    frames(2 * STEPS_PER_BEAT);
    testing::internal::CaptureStdout();
    tap('h');
    while (songPlaying()) frame();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Error: Cannot read the progress file " + file.string() + ": it is not a regular file\n");
    EXPECT_EQ(caption().substr(caption().size() - 11), " - not kept") << caption();
    EXPECT_TRUE(fs::is_directory(file));
    EXPECT_TRUE(fs::exists(file / "mine"));
    tap('6');
    EXPECT_EQ(caption(), "Twinkle - 5 to play");
}

// The tempo: "[" and "]" in tenths of the written tempo; one clock times every entry.
TEST_F(SongPlaying, AtATempoEachEntryComesThatMuchSoonerOrLaterOnTheClock) {
    writeSong("steps.song", "6\n2 0 2 1 2 2 2 3 2 4 2 5\n0\n");
    struct Case {
        const char* keys;
        const char* told;
        double tempo;
    };
    for (const Case& c : {Case{"]]", "tempo 120%", 1.2}, Case{"[[[[[[", "tempo 60%", 0.6}}) {
        for (const char* key = c.keys; *key != '\0'; ++key) tap(static_cast<unsigned char>(*key));
        EXPECT_EQ(caption(), c.told);
        play("steps.song");
        std::vector<int> pressedAt = {0};
        int step = 0;
        for (unsigned int notes = noteStrokes(); songPlaying() && step < 1000; notes = noteStrokes()) {
            frame();
            ++step;
            if (noteStrokes() != notes) pressedAt.push_back(step);
        }
        // Song step s falls in the first of the piano's steps that carries the song past it.
        std::vector<int> expected;
        for (int entry = 0; entry < 6; ++entry)
            expected.push_back(static_cast<int>(std::ceil(entry * 2 * STEPS_PER_BEAT / c.tempo - 1e-9)));
        EXPECT_EQ(pressedAt, expected) << c.told;
        EXPECT_EQ(step, static_cast<int>(std::lround(12 * STEPS_PER_BEAT / c.tempo))) << "the song's length, exactly";
    }
}

TEST_F(SongPlaying, TheTempoStepsByTenthsFrom30To150PercentAndStaysUntilChanged) {
    for (int i = 0; i < 9; ++i) tap('[');
    EXPECT_EQ(caption(), "tempo 30% (the slowest)");
    EXPECT_DOUBLE_EQ(piano->tempo(), 0.3);
    for (int i = 0; i < 13; ++i) tap(']');
    EXPECT_EQ(caption(), "tempo 150% (the fastest)");
    EXPECT_DOUBLE_EQ(song().tempo(), 1.5);
    for (int i = 0; i < 5; ++i) tap('[');
    EXPECT_EQ(piano->tempo(), 1.0) << "back to the written tempo exactly";
    tap('[');
    writeSong("a.song", "1 2 0\n0\n");
    play("a.song");
    frames(40);
    ASSERT_FALSE(songPlaying());
    play("a.song");
    EXPECT_DOUBLE_EQ(song().tempo(), 0.9) << "the next song keeps it";
}

// A passage on repeat ("'"): marked at the current entries, repeated until cleared.
TEST_F(SongPlaying, AMarkedPassageRepeatsFromItsStartUntilClearedThenTheSongGoesOn) {
    tap('\'');
    EXPECT_EQ(caption(), "' marks a passage while a song plays");
    // C D E F G A of two beats each, over C, G and C major chords of four.
    writeSong("run.song", "6\n2 0 2 1 2 2 2 3 2 4 2 5\n3\n4 0 4 4 4 0\n");
    play("run.song");
    frames(25);  // D sounds
    tap('\'');
    EXPECT_EQ(caption(), "passage from note 2 - ' again to end it");
    frames(20);  // E sounds
    tap('\'');
    EXPECT_EQ(caption(), "passage to note 3 on repeat - ' again to clear it");
    std::vector<int> notes, chords;
    auto watch = [&](int count) {
        for (int f = 0; f < count; ++f) {
            const unsigned int n = noteStrokes(), c = chordStrokes();
            frame();
            if (noteStrokes() != n) notes.push_back(currNote());
            if (chordStrokes() != c) chords.push_back(playChord());
        }
    };
    watch(15);
    EXPECT_EQ(song().beat(), 2) << "back at the passage's start";
    EXPECT_DOUBLE_EQ(song().position(), 2 * STEPS_PER_BEAT);
    watch(3 * 4 * STEPS_PER_BEAT - 1);
    const int d = 8, e = 9, f = 10, g = 11, a = 12;  // keys
    EXPECT_EQ(notes, (std::vector<int>{d, e, d, e, d, e})) << "the passage three times in a row";
    EXPECT_EQ(chords, (std::vector<int>{CEG, DGB, CEG, DGB, CEG, DGB})) << "a chord begun before it restarts";
    tap('\'');
    EXPECT_EQ(caption(), "passage cleared: the song goes on");
    notes.clear();
    watch(200);
    EXPECT_FALSE(songPlaying());
    EXPECT_EQ(notes, (std::vector<int>{f, g, a})) << "on from the passage's last note";
}

// The results of playing along as told and as the progress file keeps them.
TEST(PracticeResults, BetterIsMoreRightFirstTimeThenFasterThenFewerWrongLetters) {
    PracticeResult a, b;
    a.entries = b.entries = 10;
    a.rightFirstTime = 8;
    b.rightFirstTime = 7;
    b.tempoPercent = 150;
    EXPECT_TRUE(better(a, b));
    EXPECT_FALSE(better(b, a));
    b.rightFirstTime = 8;
    EXPECT_TRUE(better(b, a)) << "as many right, faster";
    b.tempoPercent = 100;
    b.wrongLetters = 1;
    EXPECT_TRUE(better(a, b));
    EXPECT_FALSE(better(a, a)) << "a tie keeps the older result";
    b = a;
    b.entries = 20;
    b.rightFirstTime = 17;  // 85% of twenty against 80% of ten
    EXPECT_TRUE(better(b, a));
    b.entries = 300;
    b.rightFirstTime = 299;
    EXPECT_EQ(rightShare(b), 99) << "100% only when every letter was right";
    b.timed = 2;
    b.meanOffset = 0.0374;
    EXPECT_NE(describeRun(b).find(", on average 37 ms late"), std::string::npos) << describeRun(b);
}

TEST(PracticeResults, TheProgressFileReadsBackAsWrittenAndKeepsLinesItCannotRead) {
    ProgressBook book;
    PracticeResult r;
    r.entries = 41;
    r.rightFirstTime = 40;
    r.wrongLetters = 2;
    r.longestWait = 2.5;
    r.timed = 38;
    r.meanOffset = -0.012;
    r.tempoPercent = 80;
    r.hands = "left";
    r.date = "2026-12-09";
    book.best[progressKey("../res/songs/ode_to_joy.song")] = r;
    book.best[progressKey("/home/me/songs/tab\there and\nnewline.mid")] = r;
    book.otherLines = {"a line a later version wrote"};
    const std::string text = formatProgress(book);
    EXPECT_NE(text.find("\ttab\\there and\\nnewline.mid\n"), std::string::npos) << "one line a song: " << text;
    const ProgressBook back = parseProgress(text + "3\t2\t0\t0\t0\t0\t100\tright\t2026-01-01\tbroken.song\n" +
                                            "40\t41\t0\t0\t0\t0\t80\tleft\t2026-01-02\tode_to_joy.song\n");
    ASSERT_EQ(back.best.size(), 2u);
    const PracticeResult& ode = back.best.at("ode_to_joy.song");
    EXPECT_EQ(ode.wrongLetters, 0) << "of two lines for one song, the better";
    EXPECT_EQ(ode.date, "2026-01-02");
    const PracticeResult& tab = back.best.at("tab\\there and\\nnewline.mid");
    EXPECT_EQ(tab.rightFirstTime, 40);
    EXPECT_DOUBLE_EQ(tab.longestWait, 2.5);
    EXPECT_EQ(tab.timed, 38);
    EXPECT_DOUBLE_EQ(tab.meanOffset, -0.012);
    EXPECT_EQ(tab.tempoPercent, 80);
    EXPECT_EQ(tab.hands, "left");
    EXPECT_EQ(back.otherLines, (std::vector<std::string>{"a line a later version wrote",
                                                         "3\t2\t0\t0\t0\t0\t100\tright\t2026-01-01\tbroken.song"}))
        << "more right than letters cannot be a result, but it is not thrown away";
}

TEST(FileWrite, AFileIsReplacedWholeAndAFailureLeavesTheOldOne) {
    const fs::path folder = fs::temp_directory_path() / ("tinklewood-write-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const fs::path file = folder / "progress";
    std::ofstream(file) << "old";
    std::ofstream(folder / "progress.part") << "left by a run that crashed";
    EXPECT_EQ(writeWhole(file.string(), "new\n"), "");
    std::ifstream in(file);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), "new\n");
    EXPECT_EQ(writeWhole((folder / "no_such_folder" / "progress").string(), "x"), "No such file or directory");
    EXPECT_EQ(writeWhole((file / "under_a_file").string(), "x"), "Not a directory");
    int files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++files;
    EXPECT_EQ(files, 2) << "no temporary file is left behind";
    fs::remove_all(folder);
}

// The notes coming ("Return"): a bar for each key of each entry, timed by the song's own clock.
namespace {
constexpr unsigned char RETURN = 13;

// A bar's start and end in song steps from now, as exact as a float's seconds allow.
using Span = std::pair<double, double>;
Span steps(const NoteBar& bar) {
    auto round = [](float seconds) { return std::round(seconds / STEP_SECONDS * 1000) / 1000; };
    return {round(bar.start), round(bar.end)};
}
std::vector<Span> on(const std::vector<NoteBar>& bars, int key, bool right) {
    std::vector<Span> spans;
    for (const NoteBar& bar : bars)
        if (bar.key == key && bar.right == right) spans.push_back(steps(bar));
    return spans;
}
using Spans = std::vector<Span>;
}  // namespace

class NotesComing : public SongPlaying {
protected:
    void SetUp() override {
        SongPlaying::SetUp();
        // C, E and G of two, two and four beats over C and then G major.
        writeSong(std::string(FIRST_SONG), "3\n2 0 2 2 4 4\n2\n4 0 4 4\n");
        tap(RETURN);
    }
    void tap(unsigned char key) {
        press(key);
        release(key);
    }
    std::vector<NoteBar> bars() const { return piano->scene().bars; }
    Spans right(int key) const { return on(bars(), key, true); }
    Spans left(int key) const { return on(bars(), key, false); }
    int songStep() const { return song().beat() * STEPS_PER_BEAT + song().framesInBeat(); }
};

TEST_F(NotesComing, ReturnShowsEachEntryOnItsKeysFromItsBeatToItsEndAndHidesThem) {
    EXPECT_EQ(caption(), "notes coming shown");
    EXPECT_TRUE(bars().empty()) << "no song, no bars";
    tap('5');
    EXPECT_EQ(right(7), (Spans{{0, 20}}));
    EXPECT_EQ(right(9), (Spans{{20, 40}}));
    EXPECT_EQ(right(11), (Spans{{40, 80}}));
    // C major is C3 E3 G3 (keys 0, 2, 4), G major D3 G3 B3 (keys 1, 4, 6).
    EXPECT_EQ(left(0), (Spans{{0, 40}}));
    EXPECT_EQ(left(2), (Spans{{0, 40}}));
    EXPECT_EQ(left(4), (Spans{{0, 40}, {40, 80}}));
    EXPECT_EQ(left(1), (Spans{{40, 80}}));
    EXPECT_EQ(left(6), (Spans{{40, 80}}));
    EXPECT_EQ(bars().size(), 9u);

    tap(RETURN);
    EXPECT_EQ(caption(), "notes coming hidden");
    EXPECT_TRUE(songPlaying());
    EXPECT_TRUE(bars().empty());
    tap(RETURN);
    EXPECT_EQ(bars().size(), 9u);
}

TEST_F(NotesComing, BarsMoveOnTheSongsStepsSinkWhileTheirEntryLastsAndGoWithIt) {
    tap('5');
    frames(7);
    EXPECT_EQ(right(7), (Spans{{-7, 13}})) << "sinking into its key";
    EXPECT_EQ(right(9), (Spans{{13, 33}}));
    frames(13);
    EXPECT_EQ(right(7), Spans{}) << "over on the beat the next entry starts";
    EXPECT_EQ(right(9), (Spans{{0, 20}}));
    frames(60);
    EXPECT_FALSE(songPlaying());
    EXPECT_TRUE(bars().empty());
}

TEST_F(NotesComing, AnEntryComesIntoViewAsManySecondsAheadAsTheBarsReach) {
    writeSong("far.song", "2\n20 0 2 2\n0\n");
    play("far.song");
    const int due = 20 * STEPS_PER_BEAT;  // E's beat, in steps
    const int shownFrom = due - static_cast<int>(std::lround(NOTES_AHEAD_SECONDS / STEP_SECONDS));
    frames(shownFrom);
    EXPECT_EQ(right(9), Spans{});
    frame();
    EXPECT_EQ(right(9), (Spans{{due - shownFrom - 1, due - shownFrom + 19}}));
}

TEST_F(NotesComing, ChordsShowTheKeysOfTheModeTheyWillBePlayedIn) {
    writeSong("modes.song", "minor\n2 3 0 3 0\n3\n2 0 major 2 0 2 4\n");
    tap('+');
    play("modes.song");
    // z in minor is A minor (C3 E3 A3: keys 0, 2, 5); then z and b in major, C and G major.
    EXPECT_EQ(left(5), (Spans{{0, 20}}));
    EXPECT_EQ(left(0), (Spans{{0, 20}, {20, 40}}));
    EXPECT_EQ(left(1), (Spans{{40, 60}}));
    EXPECT_EQ(left(6), (Spans{{40, 60}}));

    // A song without mode words plays its chords in the mode the user leaves it in.
    tap('5');
    tap('-');
    // b in minor is E major: E3 G#3 B3, keys 2, 18 and 6.
    EXPECT_EQ(left(18), (Spans{{40, 80}}));
    EXPECT_EQ(left(6), (Spans{{40, 80}}));
    EXPECT_EQ(left(1), Spans{});
}

TEST_F(NotesComing, PlayedAlongTheAwaitedBarStandsAtItsKeyAndTheOthersWaitWithTheSong) {
    tap('9');
    tap('5');
    frames(60);
    auto awaited = [&] {
        std::vector<int> keys;
        for (const NoteBar& bar : bars())
            if (bar.awaited) keys.push_back(bar.key);
        return keys;
    };
    EXPECT_EQ(awaited(), std::vector<int>{7});
    EXPECT_EQ(right(7), (Spans{{0, 20}}));
    EXPECT_EQ(right(9), (Spans{{20, 40}})) << "the song waits for its first note";
    EXPECT_EQ(left(0), (Spans{{0, 40}}));

    tap('s');
    EXPECT_EQ(awaited(), std::vector<int>{});
    frames(5);
    EXPECT_EQ(right(7), (Spans{{-5, 15}}));

    // E is due at step 20; late by more than a beat, the counter stops. E's bar stands whole
    // at its key while the song waits, and G's stands where the song stopped.
    frames(40);
    const int stoppedAt = songStep();
    ASSERT_LT(stoppedAt, 30);
    EXPECT_EQ(awaited(), std::vector<int>{9});
    EXPECT_EQ(right(9), (Spans{{0, 20}}));
    EXPECT_EQ(right(11), (Spans{{40 - stoppedAt, 80 - stoppedAt}}));
    EXPECT_EQ(left(6), (Spans{{40 - stoppedAt, 80 - stoppedAt}}));
    frames(60);
    EXPECT_EQ(right(11), (Spans{{40 - stoppedAt, 80 - stoppedAt}}));
    tap('f');
    frames(2);
    EXPECT_EQ(right(9), (Spans{{20 - stoppedAt - 2, 40 - stoppedAt - 2}})) << "late: it sinks from where the song stands";
}

TEST_F(NotesComing, AfterARepeatedPassagesEndComeItsStartsBarsAgainAsFarAsTheBarsReach) {
    tap('5');
    frames(30);  // beat 3, within E (beats 2 to 4)
    std::vector<NoteBar> looped;
    songBars(song(), piano->mode(), looped, RepeatedPassage{2, 6});
    // E, and G cut at the passage's end, in place; then E and G from beat 6 on every four beats,
    // up to the bars' reach of 180 steps.
    EXPECT_EQ(on(looped, 9, true), (Spans{{-10, 10}, {30, 50}, {70, 90}, {110, 130}, {150, 170}}));
    EXPECT_EQ(on(looped, 11, true), (Spans{{10, 30}, {50, 70}, {90, 110}, {130, 150}, {170, 190}}));
    EXPECT_EQ(on(looped, 7, true), Spans{});
    // The chords alike: C major (beats 0 to 4) from the passage's start, G major (4 to 8) cut at its end.
    EXPECT_EQ(on(looped, 0, false), (Spans{{-30, 10}, {30, 50}, {70, 90}, {110, 130}, {150, 170}}));
    EXPECT_EQ(on(looped, 6, false), (Spans{{10, 30}, {50, 70}, {90, 110}, {130, 150}, {170, 190}}));
}

// A song player alone, for what the piano's keys do not reach: its tempo.
class SongTempo : public testing::Test, private SongPlayer::Performer {
protected:
    DrivenClock clock;
    std::array<PianoKey, NUM_KEYS> keys = restingKeyboard();
    Hand leftHand{-1}, rightHand{1};
    KeySounds sounds{nullptr, ResourcePaths(), nullptr};
    Stroke notes{Stroke::NOTE, rightHand, keys, sounds, clock};
    Stroke chords{Stroke::CHORD, leftHand, keys, sounds, clock};
    SongPlayer song{*this};

    std::vector<NoteBar> bars() const {
        std::vector<NoteBar> out;
        songBars(song, MAJOR, out);
        return out;
    }

private:
    void songPress(unsigned char) override {}
    void songRelease(unsigned char) override {}
    Mode mode() const override { return MAJOR; }
    Stroke& stroke(bool right) override { return right ? notes : chords; }
    void setMode(Mode) override {}
    void showCaption(const std::string&) override {}
    double seconds() const override { return clock.seconds(); }
    void log(const char*, const std::string&) override {}
    void judged(unsigned char, bool) override {}
    void playAlongDone(const PracticeResult&) override {}
};

TEST_F(SongTempo, TheBarsMoveAsFastAsTheSongCountsItsStepsSmoothlyAtASlowTempo) {
    SongData data;
    ASSERT_TRUE([&] { std::string e; return parseSong("2\n2 0 2 2\n0\n", NUM_NOTE_LETTERS, NUM_CHORD_LETTERS, data, e); }());
    song.start(data);
    song.setTempo(0.5);
    song.step();
    EXPECT_EQ(on(bars(), 9, true), (Spans{{19.5, 39.5}})) << "half a step on";
    for (int i = 0; i < 19; ++i) song.step();
    EXPECT_EQ(on(bars(), 7, true), (Spans{{-10, 10}}));
    song.setTempo(1.5);
    for (int i = 0; i < 4; ++i) song.step();
    EXPECT_EQ(on(bars(), 9, true), (Spans{{4, 24}}));
}

// Recording ("7"): a take becomes a song of the same letters and gaps, and a MIDI file of what
// sounded; a take that cannot be saved is kept.
TEST(RecordingAsSong, GapsJoinTheLetterBeforeShortOnesAreLengthenedAndModesAreWritten) {
    Recording take;
    take.startMode = MAJOR;
    // Seconds: a song().beat() is 1/6 s. s at 1.0 for a song().beat() and a half, d at 2.0 held 0.1 s, f 0.1 s
    // after it (too soon: two beats), chords z in major and z in minor.
    take.strokes = {{true, 0, MAJOR, 1.0, 1.25}, {true, 1, MAJOR, 2.0, 2.1}, {true, 2, MAJOR, 2.1, 2.2},
                    {false, 0, MAJOR, 1.0, 2.0}, {false, 0, MINOR, 3.0, 4.0}};
    const SongData song = songFromRecording(take);
    ASSERT_EQ(song.right.size(), 3u);
    EXPECT_FLOAT_EQ(song.right[0][0], 6) << "s lasts until d: the silence joins it";
    EXPECT_FLOAT_EQ(song.right[1][0], 8) << "d lasts the shortest entry there is";
    EXPECT_FLOAT_EQ(song.right[2][0], 10) << "the last letter as long as it was held, at least two beats";
    EXPECT_FLOAT_EQ(song.right[2][1], 2);
    ASSERT_EQ(song.left.size(), 2u);
    EXPECT_FLOAT_EQ(song.left[0][0], 12);
    EXPECT_EQ(song.startMode, MAJOR);
    ASSERT_EQ(song.modeChanges.size(), 1u);
    EXPECT_EQ(song.modeChanges[0], (std::pair<std::size_t, Mode>{1, MINOR}));
    EXPECT_TRUE(songFromRecording(Recording()).right.empty());
}

TEST(RecordingAsMidi, EveryNoteEndsAndAKeyStruckAgainEndsItsFirstNote) {
    Recording take;
    take.strokes = {{true, 0, MAJOR, 1.0, 1.5}};
    take.sounds = {{1.16, 7, true, 1.0f}, {1.5, 7, false, 0}, {1.6, 20, true, 0.5f}, {1.7, 20, true, 0.5f},
                   {2.0, 0, true, 0.5f}};
    const std::vector<RecordedMidiEvent> midi = midiFromRecording(take);
    ASSERT_EQ(midi.size(), 8u);
    EXPECT_NEAR(midi[0].seconds, 0.16, 1e-9) << "from the first letter";
    EXPECT_EQ(midi[0].pitch, 60);
    EXPECT_EQ(midi[0].velocity, 127);
    EXPECT_EQ(midi[1].velocity, 0);
    EXPECT_EQ(midi[2].pitch, 61);
    EXPECT_EQ(midi[2].velocity, 64);
    EXPECT_EQ(midi[3].velocity, 0) << "struck again: the first note ends";
    EXPECT_EQ(midi[4].velocity, 64);
    EXPECT_EQ(midi[6].pitch, 48);
    EXPECT_EQ(midi[6].velocity, 0) << "notes still sounding at the end are ended";
    EXPECT_EQ(midi[7].pitch, 61);
    EXPECT_EQ(midi[7].velocity, 0);
}

class Recorder : public SongChooser {
protected:
    static std::vector<std::string>& midiWritten() {
        static std::vector<std::string> paths;
        return paths;
    }
    void SetUp() override {
        SongChooser::SetUp();
        midiWritten().clear();
        PianoSetup s = setup();
        events.open((root / "events").string());
        s.log = &events;
        s.writeMidiFile = [this](const std::string& path, int program, const std::vector<RecordedMidiEvent>& events,
                                 std::string& error) {
            if (midiFails) {
                error = "Error: Failed to write MIDI file " + path + ": No space left on device";
                std::ofstream(path) << "";  // a writer may leave its file begun
                return false;
            }
            std::ofstream(path) << program << " " << events.size();
            midiWritten().push_back(path);
            midiEvents = events;
            return true;
        };
        piano = std::make_unique<Piano>(s);
    }
    void TearDown() override {
        piano.reset();  // before the log it writes to
        SongChooser::TearDown();
    }
    bool midiFails = false;
    std::vector<RecordedMidiEvent> midiEvents;
    EventLog events{clock};
    // The take's letters whose keys have sounded, as the event log tells a driver of the program.
    std::vector<std::string> takeStrokes() {
        std::vector<std::string> found;
        std::ifstream in(root / "events");
        for (std::string kind, at, detail; in >> kind >> at;) {
            std::getline(in, detail);
            if (kind == "take-stroke") found.push_back(detail.substr(detail.find_first_not_of(' ')));
        }
        return found;
    }
    // What a key prints: the recorder's lines go to standard error, and nothing to standard output.
    std::string stderrOf(unsigned char key) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        press(key);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        return err;
    }
    std::vector<fs::path> leftovers() {
        std::vector<fs::path> found;
        std::error_code ignored;
        for (const auto& e : fs::directory_iterator(userSongs, ignored)) found.push_back(e.path());
        return found;
    }
    void playFor(unsigned char letter, int count) {
        press(letter);
        frames(count);
        release(letter);
    }
    std::vector<fs::path> saved(const std::string& extension) {
        std::vector<fs::path> found;
        std::error_code ignored;
        for (const auto& e : fs::directory_iterator(userSongs, ignored))
            if (e.path().extension() == extension) found.push_back(e.path());
        return found;
    }
};

TEST_F(Recorder, ATakeIsSavedAsASongAndAMidiFileAndPlaysBackAsPlayed) {
    press('7');
    EXPECT_TRUE(piano->recorder().on());
    EXPECT_EQ(caption(), "recording");
    press('z');
    playFor('s', 20);
    release('z');
    frames(10);
    playFor('d', 20);
    frames(10);
    press('-');  // the next chord in minor
    playFor('z', 30);
    frames(20);
    EXPECT_EQ(takeStrokes(), (std::vector<std::string>{"0", "1", "2", "3"})) << "each letter told once, as it struck";
    EXPECT_EQ(stderrOf('7'), "");
    EXPECT_FALSE(piano->recorder().on());

    const std::vector<fs::path> songs = saved(".song");
    ASSERT_EQ(songs.size(), 1u);
    EXPECT_EQ(songs[0].filename().string().rfind("recording_", 0), 0u);
    ASSERT_EQ(midiWritten().size(), 1u);
    EXPECT_EQ(saved(".mid").size(), 1u);
    EXPECT_EQ(fs::path(songs[0]).replace_extension(".mid"), saved(".mid")[0]) << "the MIDI file beside the song";
    EXPECT_EQ(leftovers().size(), 2u) << "no temporary file left";
    EXPECT_EQ(caption(), "saved " + songs[0].filename().string() + " - 5 to play");

    std::ifstream in(songs[0]);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SongData song;
    std::string error;
    ASSERT_TRUE(parseSong(text, 13, 5, song, error)) << error << text;
    ASSERT_EQ(song.right.size(), 2u);
    EXPECT_FLOAT_EQ(song.right[0][1], 0);
    EXPECT_FLOAT_EQ(song.right[1][1], 1);
    EXPECT_NEAR(song.right[0][0], 3, 1) << "d came half a second after s";
    ASSERT_EQ(song.left.size(), 2u);
    EXPECT_EQ(song.startMode, MAJOR);
    ASSERT_EQ(song.modeChanges.size(), 1u);
    EXPECT_EQ(song.modeChanges[0].second, MINOR);

    // "5" plays the take back through the hands: the chosen song is the take.
    press('+');
    frames(60);
    press('5');
    EXPECT_TRUE(songPlaying());
    EXPECT_EQ(currNote(), 7);
    EXPECT_EQ(playChord(), CEG);
    std::vector<int> chords = {playChord()};
    while (songPlaying()) {
        const unsigned int before = chordStrokes();
        frame();
        if (chordStrokes() != before) chords.push_back(playChord());
    }
    EXPECT_EQ(chords, (std::vector<int>{CEG, CEA})) << "the second chord in the mode it was played in";
}

// With "0" a letter sounds at its press, before its hand moves: the take holds it all the same.
TEST_F(Recorder, LettersSoundingAtTheirPressAreRecorded) {
    press('0');
    press('7');
    playFor('s', 10);
    frames(5);
    playFor('z', 10);
    frames(5);
    EXPECT_EQ(takeStrokes(), (std::vector<std::string>{"0", "1"}));
    EXPECT_EQ(stderrOf('7'), "");
    EXPECT_EQ(saved(".song").size(), 1u) << caption();
    EXPECT_EQ(midiEvents.size(), 8u) << "a note and a chord of three, each on and off";
}

TEST_F(Recorder, NothingPlayedIsNotSaved) {
    press('7');
    frames(30);
    press('7');
    EXPECT_EQ(caption(), "nothing recorded");
    EXPECT_TRUE(saved(".song").empty());
}

// Quitting while recording (Escape, the main window's close box) saves the take as "7" would,
// with its letter still down ended there, and says where in one line.
TEST_F(Recorder, FinishingSavesATakeBeingRecordedAndSaysWhere) {
    press('7');
    playFor('s', 20);
    press('d');
    frames(20);
    testing::internal::CaptureStdout();
    piano->finish();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(piano->recorder().on());
    const std::vector<fs::path> songs = saved(".song");
    ASSERT_EQ(songs.size(), 1u);
    EXPECT_EQ(out, "Saved the recording to " + songs[0].string() + "\n");
    EXPECT_EQ(midiWritten().size(), 1u);
    std::ifstream in(songs[0]);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SongData song;
    std::string error;
    ASSERT_TRUE(parseSong(text, 13, 5, song, error)) << error << text;
    ASSERT_EQ(song.right.size(), 2u) << "the letter still down is in the take";

    testing::internal::CaptureStdout();
    piano->finish();  // saved already: nothing more
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(saved(".song").size(), 1u);
}

TEST_F(Recorder, FinishingWithNothingRecordedSavesNothingAndSaysNothing) {
    press('7');
    frames(30);
    testing::internal::CaptureStdout();
    piano->finish();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(saved(".song").empty());
}

TEST_F(Recorder, FinishingSavesATakeKeptAfterAFailedSaveOrSaysWhyNotAgain) {
    fs::create_directories(userSongs.parent_path());
    std::ofstream(userSongs) << "a file where the folder should be";
    press('7');
    playFor('s', 20);
    stderrOf('7');
    ASSERT_TRUE(piano->recorder().kept());
    testing::internal::CaptureStderr();
    piano->finish();
    const std::string failed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(failed.rfind("Error: Cannot save the recording to ", 0), 0u) << failed;
    EXPECT_EQ(std::count(failed.begin(), failed.end(), '\n'), 1);

    fs::remove(userSongs);
    testing::internal::CaptureStdout();
    piano->finish();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("Saved the recording to " + userSongs.string() + "/recording_", 0), 0u) << out;
    EXPECT_EQ(saved(".song").size(), 1u);
}

TEST_F(Recorder, ATakeThatCannotBeSavedIsKeptAndSavedWhenTheFolderIsFixed) {
    fs::create_directories(userSongs.parent_path());
    std::ofstream(userSongs) << "a file where the folder should be";
    press('7');
    playFor('s', 20);
    const std::string out = stderrOf('7');
    EXPECT_EQ(out.rfind("Error: Cannot save the recording to " + userSongs.string() + "/recording_", 0), 0u) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
    EXPECT_EQ(caption().rfind("recording not saved", 0), 0u) << caption();
    EXPECT_TRUE(piano->recorder().kept());

    fs::remove(userSongs);
    frames(60);
    press('7');  // goes on with the kept take
    playFor('f', 20);
    EXPECT_EQ(stderrOf('7'), "");
    const std::vector<fs::path> songs = saved(".song");
    ASSERT_EQ(songs.size(), 1u);
    std::ifstream in(songs[0]);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SongData song;
    std::string error;
    ASSERT_TRUE(parseSong(text, 13, 5, song, error)) << error;
    ASSERT_EQ(song.right.size(), 2u) << "the first take's note is not lost";
    EXPECT_FLOAT_EQ(song.right[0][1], 0);
    EXPECT_FLOAT_EQ(song.right[1][1], 2);
    EXPECT_LT(song.right[0][0], 10) << "the pause before going on is not kept as a long note";
}

TEST_F(Recorder, ATakeWhoseMidiFileCannotBeWrittenLeavesNeitherFileAndIsKept) {
    press('7');
    playFor('s', 20);
    midiFails = true;
    const std::string out = stderrOf('7');
    EXPECT_NE(out.find(".mid: No space left on device"), std::string::npos) << out;
    EXPECT_EQ(out.find(".part"), std::string::npos) << "the user's file is named, not a temporary one: " << out;
    EXPECT_TRUE(leftovers().empty()) << "a song without its MIDI file, or a temporary file, was left";
    EXPECT_TRUE(piano->recorder().kept());
    EXPECT_EQ(caption().rfind("recording not saved", 0), 0u) << caption();

    midiFails = false;
    press('7');
    press('7');
    EXPECT_EQ(saved(".song").size(), 1u) << "7 twice saves the kept take";
    EXPECT_EQ(saved(".mid").size(), 1u);
}

TEST_F(Recorder, TheTwoFilesHoldTheSameNotesAndTheInstrumentsChanges) {
    press('7');
    playFor('s', 20);
    press(' ');  // the synth, part way through
    playFor('d', 20);
    press('f');  // typed just before the take stops: its key is struck after it
    frames(3);
    EXPECT_EQ(stderrOf('7'), "");
    release('f');
    frames(30);
    ASSERT_EQ(saved(".song").size(), 1u);
    std::ifstream in(saved(".song")[0]);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SongData song;
    std::string error;
    ASSERT_TRUE(parseSong(text, 13, 5, song, error)) << error;
    ASSERT_EQ(song.right.size(), 2u) << "f sounded after the take: in neither file";
    int notes = 0, programs = 0;
    double changedAt = -1, secondAt = -1;
    for (const RecordedMidiEvent& e : midiEvents) {
        if (e.program >= 0) {
            ++programs;
            EXPECT_EQ(e.program, INSTRUMENT_PROGRAMS[SYNTH]);
            changedAt = e.seconds;
        } else if (e.velocity > 0) {
            ++notes;
            if (e.pitch == 62) secondAt = e.seconds;
        }
    }
    EXPECT_EQ(notes, 2) << "the same notes as the song";
    EXPECT_EQ(programs, 1) << "the change to the synth";
    EXPECT_GT(changedAt, 0.3);
    EXPECT_LT(changedAt, secondAt) << "the change comes before the note it was played with";
}
