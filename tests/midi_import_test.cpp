// The MIDI importer on hand-built note lists: which notes become the melody, where they land
// on the right hand, which chords the left hand gets, and how times become beats.
#include <gtest/gtest.h>

#include <set>

#include "MidiImport.h"
#include "app_fixture.h"

namespace {
const int TICKS = 480;  // a quarter note; at the default 120 beats a minute, 3 song beats

MidiNote note(int pitch, double startQuarters, double quarters, int track = 0, int channel = 0) {
    return MidiNote{track, channel, pitch, 80, static_cast<long long>(startQuarters * TICKS),
                    static_cast<long long>((startQuarters + quarters) * TICKS)};
}

void addChord(MidiScore& score, std::initializer_list<int> pitches, double start, double quarters,
              int track = 0, int channel = 0) {
    for (int p : pitches) score.notes.push_back(note(p, start, quarters, track, channel));
}

struct Imported {
    bool ok = false;
    SongData song;
    MidiImportReport report;
    std::string error;
};

Imported import(const MidiScore& score) {
    Imported out;
    out.ok = songFromMidi(score, out.song, out.report, out.error);
    return out;
}

// (end beat, index) pairs as whole numbers, for readable expectations.
std::vector<std::pair<int, int>> entries(const std::vector<std::array<float, 2>>& hand) {
    std::vector<std::pair<int, int>> out;
    for (const auto& e : hand) out.emplace_back(static_cast<int>(e[0]), static_cast<int>(e[1]));
    return out;
}

using Entries = std::vector<std::pair<int, int>>;
const int C = 0, F = 2, G = 4;  // chord letters in major
}  // namespace

TEST(MidiImport, ScaleOverChordsInOneTrackSplitsIntoTheTwoHands) {
    MidiScore score;
    score.ticksPerQuarter = TICKS;
    const int scale[] = {60, 62, 64, 65, 67, 69, 71, 72};
    for (int i = 0; i < 8; ++i) score.notes.push_back(note(scale[i], i, 1));
    addChord(score, {48, 52, 55}, 0, 2);
    addChord(score, {48, 53, 57}, 2, 2);
    addChord(score, {50, 55, 59}, 4, 2);
    addChord(score, {48, 52, 55}, 6, 2);
    const Imported in = import(score);
    ASSERT_TRUE(in.ok) << in.error;
    EXPECT_EQ(entries(in.song.right), (Entries{{3, 0}, {6, 1}, {9, 2}, {12, 3}, {15, 4}, {18, 5}, {21, 6}, {24, 7}}));
    EXPECT_EQ(entries(in.song.left), (Entries{{6, C}, {12, F}, {18, G}, {24, C}}));
    EXPECT_EQ(in.song.startMode, MAJOR);
    EXPECT_EQ(in.report.transposition, 0);
    EXPECT_EQ(in.report.kept, 8);
    EXPECT_EQ(in.report.accompaniment, 12);
    EXPECT_EQ(in.report.dropped(), 0);
}

TEST(MidiImport, OneIntervalMovesMelodyAndChordsIntoTheKeysAndTheModesChords) {
    // G major a fifth up: only a fall of 7 semitones puts the whole scale on the keys.
    MidiScore score;
    const int scale[] = {67, 69, 71, 72, 74, 76, 78, 79};
    for (int i = 0; i < 8; ++i) score.notes.push_back(note(scale[i], i, 1));
    addChord(score, {55, 59, 62}, 0, 4, 1);  // G
    addChord(score, {55, 60}, 4, 2, 1);      // C
    addChord(score, {57, 62, 66}, 6, 2, 1);  // D
    Imported in = import(score);
    ASSERT_TRUE(in.ok) << in.error;
    EXPECT_EQ(in.report.transposition, -7);
    EXPECT_EQ(in.report.melodyTrack, 0) << "the first of two equally busy tracks";
    EXPECT_EQ(entries(in.song.right).back(), std::make_pair(24, 7));
    EXPECT_EQ(entries(in.song.left), (Entries{{6, C}, {12, C}, {18, F}, {24, G}}));

    // A melody that fits several ways takes the interval that suits its chords: D major
    // falls a tone to C rather than rising a fourth to G (the smaller move of two equals).
    score = MidiScore();
    for (int i = 0; i < 4; ++i) score.notes.push_back(note(i % 2 ? 66 : 62, i, 1));
    addChord(score, {50, 54, 57}, 0, 2);  // D
    addChord(score, {50, 55, 59}, 2, 2);  // G
    in = import(score);
    ASSERT_TRUE(in.ok) << in.error;
    EXPECT_EQ(in.report.transposition, -2);
    EXPECT_EQ(entries(in.song.left), (Entries{{6, C}, {12, F}}));
}

TEST(MidiImport, NotesOutsideTheKeysAreFoldedByOctaves) {
    MidiScore score;
    for (int i = 0; i < 3; ++i) score.notes.push_back(note(60 + 2 * i, i, 1));
    score.notes.push_back(note(100, 3, 1));  // E7
    score.notes.push_back(note(35, 4, 1));   // B1
    const Imported in = import(score);
    ASSERT_TRUE(in.ok) << in.error;
    EXPECT_EQ(in.report.transposition, 0);
    EXPECT_EQ(in.report.kept, 3);
    EXPECT_EQ(in.report.folded, 2);
    EXPECT_EQ(entries(in.song.right), (Entries{{3, 0}, {6, 1}, {9, 2}, {12, 2}, {15, 6}}));
    const std::string text = in.report.text();
    EXPECT_NE(text.find("E7 to E4 (1)"), std::string::npos) << text;
    EXPECT_NE(text.find("B1 to B4 (1)"), std::string::npos) << text;
    EXPECT_TRUE(in.song.left.empty()) << "no accompaniment, no chords";
}

TEST(MidiImport, AMinorPieceIsReadInMinorWithItsDominant) {
    MidiScore score;
    const int tune[] = {69, 71, 72, 71, 69, 68, 69, 64};
    for (int i = 0; i < 8; ++i) score.notes.push_back(note(tune[i], i, 1));
    addChord(score, {45, 48, 52}, 0, 2);  // Am
    addChord(score, {40, 44, 47}, 2, 2);  // E
    addChord(score, {45, 48, 52}, 4, 2);
    addChord(score, {40, 44, 47}, 6, 2);
    const Imported in = import(score);
    ASSERT_TRUE(in.ok) << in.error;
    EXPECT_EQ(in.song.startMode, MINOR);
    EXPECT_EQ(in.report.transposition, 0);
    EXPECT_EQ(entries(in.song.left), (Entries{{6, 0}, {12, 4}, {18, 0}, {24, 4}}));
}

TEST(MidiImport, DrumsAreNeverTheMelodyAndTheBusiestTrackIs) {
    MidiScore score;
    for (int i = 0; i < 16; ++i) score.notes.push_back(note(36, i * 0.5, 0.25, 2, 9));
    for (int i = 0; i < 4; ++i) score.notes.push_back(note(64 + i, i * 2, 2, 1, 1));
    addChord(score, {48}, 0, 8, 0, 0);
    const Imported in = import(score);
    ASSERT_TRUE(in.ok) << in.error;
    EXPECT_EQ(in.report.melodyTrack, 1);
    EXPECT_EQ(in.report.melodyChannel, 1);
    EXPECT_EQ(in.report.droppedDrums, 16);
    EXPECT_EQ(in.song.right.size(), 4u);

    score.notes.erase(score.notes.begin() + 16, score.notes.end());
    Imported drumsOnly = import(score);
    EXPECT_FALSE(drumsOnly.ok);
    EXPECT_EQ(drumsOnly.error, "it holds only drum notes");
    EXPECT_FALSE(import(MidiScore()).ok);
}

TEST(MidiImport, TimesRoundToBeatsRestsJoinTheNoteBeforeAndTooCloseNotesAreDropped) {
    // At 120 beats a minute a quarter note is half a second: three song beats.
    MidiScore score;
    score.notes.push_back(note(48, 0, 1, 0, 1));       // before the melody: not played
    score.notes.push_back(note(60, 2, 1));             // beat 6: the song's start
    score.notes.push_back(note(62, 2.1, 0.5));         // 0.3 beats later: dropped
    score.notes.push_back(note(64, 3, 0.5));           // beat 9, then a rest
    score.notes.push_back(note(67, 6, 0.2));           // beat 18, held the shortest 2 beats
    addChord(score, {41, 45, 48}, 4, 2, 0, 1);          // F, then nothing in the last half bar
    Imported in = import(score);
    ASSERT_TRUE(in.ok) << in.error;
    EXPECT_EQ(entries(in.song.right), (Entries{{3, 0}, {12, 2}, {14, 4}}));
    EXPECT_EQ(in.report.droppedTooClose, 1);
    EXPECT_EQ(in.report.droppedOutside, 1);
    // The half bar before the first chord and the one after it: the F is struck at the
    // start and rings to the end, so both hands last 14 beats.
    EXPECT_EQ(entries(in.song.left), (Entries{{14, F}}));
    EXPECT_EQ(in.report.halfBarsWithoutChord, 2);

    // A chord, a half bar without one, then the last: the first one rings on over the gap.
    // (Two-note chords keep the accompaniment less busy than the melody.)
    score.notes.erase(score.notes.begin());
    score.notes.resize(4);
    addChord(score, {48, 52}, 2, 2, 0, 1);
    addChord(score, {41, 48}, 6, 1, 0, 1);
    in = import(score);
    ASSERT_TRUE(in.ok) << in.error;
    EXPECT_EQ(entries(in.song.left), (Entries{{12, C}, {14, F}}));
}

TEST(MidiImport, HalfBarsFollowTheMeterAndBeatsTheTempoMap) {
    MidiScore score;
    score.meters.push_back({0, 3, 4});  // half a bar: a dotted quarter, 4.5 beats
    for (int i = 0; i < 6; ++i) score.notes.push_back(note(60 + i, i, 1));
    for (int h = 0; h < 4; ++h) addChord(score, h % 2 ? std::initializer_list<int>{50, 55, 59}
                                                      : std::initializer_list<int>{48, 52, 55},
                                         h * 1.5, 1.5);
    Imported in = import(score);
    ASSERT_TRUE(in.ok) << in.error;
    EXPECT_EQ(entries(in.song.left), (Entries{{5, C}, {9, G}, {14, C}, {18, G}}));

    // Twice as slow from the fifth quarter on.
    score = MidiScore();
    score.tempos.push_back({4 * TICKS, 1.0});
    for (int i = 0; i < 8; ++i) score.notes.push_back(note(60, i, 1));
    in = import(score);
    ASSERT_TRUE(in.ok) << in.error;
    EXPECT_EQ(entries(in.song.right),
              (Entries{{3, 0}, {6, 0}, {9, 0}, {12, 0}, {18, 0}, {24, 0}, {30, 0}, {36, 0}}));

    score.notes.push_back(note(60, 20000, 1));
    EXPECT_FALSE(import(score).ok) << "longer than an hour";
}

// The importer's tables against the program's own: the keys the right hand's letters press
// and the notes of each chord letter's chord.
class MidiImportTables : public AppTest {};

TEST_F(MidiImportTables, AgreeWithTheKeysAndChordsTheHandsPlay) {
    const int whiteSemitones[7] = {0, 2, 4, 5, 7, 9, 11}, blackSemitones[5] = {1, 3, 6, 8, 10};
    auto pitchOfKey = [&](int key) {
        return key < 15 ? 48 + 12 * (key / 7) + whiteSemitones[key % 7]
                        : 48 + 12 * ((key - 15) / 5) + blackSemitones[(key - 15) % 5];
    };
    for (int i = 0; i < 13; ++i) {
        piano = std::make_unique<Piano>(setup());
        press(static_cast<unsigned char>(NOTE_LETTERS[static_cast<std::size_t>(i)]));
        ASSERT_GE(currNote(), 0);
        EXPECT_EQ(pitchOfKey(currNote()), RIGHT_HAND_PITCHES[i]) << "note index " << i;
    }
    for (Mode mode : {MAJOR, MINOR})
        for (int c = 0; c < 5; ++c) {
            std::set<int> hands, importer;
            for (int key : CHORD_NOTES[CHORD_KEY_TABLE[mode][c]]) hands.insert(pitchOfKey(key) % 12);
            for (int pc : MODE_CHORD_PITCH_CLASSES[mode][c]) importer.insert(pc);
            EXPECT_EQ(hands, importer) << "mode " << mode << " chord " << c;
        }
}
