// MIDI in and out without a MIDI system: messages queued as the adapter queues them, played
// by the frame step; what the output would send, recorded.
#include <atomic>
#include <thread>

#include "KeyNotes.h"
#include "app_fixture.h"

namespace {
using Bytes = std::vector<unsigned char>;

std::vector<Bytes>& sent() {
    static std::vector<Bytes> messages;
    return messages;
}

void recordSent(const unsigned char* message, std::size_t size) { sent().emplace_back(message, message + size); }

std::string pianoSample(const std::string& file) { return "../res/sounds/piano/" + file; }
}  // namespace

class MidiIn : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        sent().clear();
    }
    void midi(std::initializer_list<unsigned char> message) { piano->midiInbox().queue(message.begin(), message.size()); }
    bool midiInputPending() { return piano->midiInbox().pending(); }
    void noteOn(int note, int velocity = 100) {
        midi({0x90, static_cast<unsigned char>(note), static_cast<unsigned char>(velocity)});
    }
    void noteOff(int note) { midi({0x80, static_cast<unsigned char>(note), 0}); }
    void pedal(bool down) { midi({0xB0, 64, static_cast<unsigned char>(down ? 127 : 0)}); }
    std::vector<std::string> played() const {
        std::vector<std::string> paths;
        for (const auto& c : sound.calls)
            if (c.op == "play") paths.push_back(c.path);
        return paths;
    }
    // Frames until the key is back at rest; -1 if it is not within a second.
    int framesToRest(int index) {
        for (int n = 1; n <= 60; ++n) {
            frame();
            if (key(index).pressFactor == 0) return n;
        }
        return -1;
    }
};

TEST_F(MidiIn, ANoteOnSoundsItsKeyInTheSameStepAtItsVelocityAndPressesIt) {
    noteOn(60, 100);
    EXPECT_TRUE(midiInputPending());
    piano->playMidi();  // what the frame loop runs as soon as a message is queued
    EXPECT_FALSE(midiInputPending());
    ASSERT_EQ(sound.calls.size(), 2u);
    EXPECT_EQ(sound.calls[0].op, "play");
    EXPECT_EQ(sound.calls[0].path, pianoSample("C1.mp3"));
    EXPECT_EQ(sound.calls[1].op, "volume");
    EXPECT_FLOAT_EQ(sound.calls[1].volume, (100.0f / 127) * (100.0f / 127));
    EXPECT_FLOAT_EQ(key(7).pressFactor, 1.0f);

    piano->selectInstrument(ORGAN);  // its notes are quieter, from MIDI as from letters
    noteOn(62, 127);
    frame();  // the frame step plays the queue too
    EXPECT_EQ(played().back(), "../res/sounds/organ/D1.mp3");
    EXPECT_FLOAT_EQ(sound.calls.back().volume, 0.5f);
}

TEST_F(MidiIn, NotesOutsideTheKeyboardAreTakenByOctavesIntoIt) {
    for (int note = LOWEST_MIDI_NOTE; note <= HIGHEST_MIDI_NOTE; ++note)
        EXPECT_EQ(keyMidiNote(midiNoteKey(note)), note);
    EXPECT_EQ(midiNoteKey(60), 7);
    EXPECT_EQ(midiNoteKey(61), 20);   // C#4
    EXPECT_EQ(midiNoteKey(70), 24);   // A#4
    EXPECT_EQ(midiNoteKey(36), 0);    // C2 up to C3
    EXPECT_EQ(midiNoteKey(0), 0);
    EXPECT_EQ(midiNoteKey(47), 6);    // B2 up to B3
    EXPECT_EQ(midiNoteKey(73), 20);   // C#5 down to C#4
    EXPECT_EQ(midiNoteKey(84), 14);   // C6 down to C5
    EXPECT_EQ(midiNoteKey(127), 11);  // G9 down to G4
    noteOn(108);
    frame();
    EXPECT_EQ(played(), std::vector<std::string>{pianoSample("C2.mp3")});
}

TEST_F(MidiIn, ANoteOffLetsTheKeyRiseAndTheSampleFadeAsAReleasedLetterDoes) {
    noteOn(64, 127);
    frames(30);
    EXPECT_FLOAT_EQ(key(9).pressFactor, 1.0f) << "held while the note is";
    EXPECT_EQ(sound.count("stop"), 0);
    noteOff(64);
    sound.take();
    std::vector<std::pair<float, float>> pressAndVolume;
    int stops = 0;
    for (int n = 0; n < 10 && key(9).pressFactor > 0; ++n) {
        frame();
        for (const auto& c : sound.take()) {
            if (c.op == "volume") pressAndVolume.push_back({key(9).pressFactor, c.volume});
            stops += c.op == "stop";
        }
    }
    // 0.04 s from the note-off: at rest on the third frame, its sample stopped there.
    ASSERT_EQ(pressAndVolume.size(), 3u);
    for (const auto& [press, volume] : pressAndVolume) EXPECT_FLOAT_EQ(volume, press * press);
    EXPECT_GT(pressAndVolume[0].first, 0.0f);
    EXPECT_EQ(pressAndVolume[2].first, 0.0f);
    EXPECT_EQ(stops, 1);

    noteOn(65);
    midi({0x90, 65, 0});  // velocity 0: a note-off
    frames(4);
    EXPECT_EQ(key(10).pressFactor, 0.0f);
}

TEST_F(MidiIn, TheSustainPedalHoldsKeysAndNotesUntilItIsLifted) {
    pedal(true);
    noteOn(60);
    noteOn(64);
    frames(3);
    noteOff(60);
    noteOff(64);
    frames(60);
    EXPECT_FLOAT_EQ(key(7).pressFactor, 1.0f);
    EXPECT_FLOAT_EQ(key(9).pressFactor, 1.0f);
    EXPECT_EQ(sound.count("stop"), 0);
    noteOn(60);  // struck again under the pedal: the old note dies away, a new one starts
    noteOff(60);
    frames(10);
    EXPECT_EQ(sound.count("play"), 3);
    EXPECT_EQ(sound.count("stop"), 1) << "the first C4, faded over six frames";
    pedal(false);
    EXPECT_EQ(framesToRest(7), 3);
    EXPECT_EQ(key(9).pressFactor, 0.0f);
    EXPECT_EQ(sound.count("stop"), 3);

    // A key still held when the pedal comes up stays down.
    pedal(true);
    noteOn(67);
    frame();
    pedal(false);
    frames(10);
    EXPECT_FLOAT_EQ(key(11).pressFactor, 1.0f);
    midi({0xB0, 123, 0});  // all notes off
    EXPECT_EQ(framesToRest(11), 3);
}

TEST_F(MidiIn, OnlyNotesAndControllersAreQueuedAndAFloodDropsTheNewest) {
    midi({0xE0, 0, 64});  // pitch bend
    midi({0xF8});         // clock
    midi({0x90, 60});     // cut short
    EXPECT_FALSE(midiInputPending());
    for (int i = 0; i < 1500; ++i) noteOn(60 + i % 2);
    frame();
    EXPECT_EQ(sound.count("play"), 1024);
    EXPECT_FALSE(midiInputPending());
}

TEST_F(MidiIn, AMessageFromAnotherThreadWakesTheFrameLoopOnceAndAsksForAFrame) {
    static std::atomic<int> wakes{0};
    wakes = 0;
    piano->midiInbox().onArrival([](void*) { ++wakes; }, nullptr);
    MidiInbox& inbox = piano->midiInbox();
    std::thread keyboard([&inbox] {
        for (int note : {48, 50, 53}) {  // C D F below the right hand, no chord: no hand moves
            const unsigned char on[3] = {0x90, static_cast<unsigned char>(note), 100};
            inbox.queue(on, 3);
        }
    });
    keyboard.join();
    piano->midiInbox().onArrival(nullptr, nullptr);
    EXPECT_EQ(wakes, 1) << "the loop wakes once and takes all three";
    EXPECT_TRUE(midiInputPending());
    piano->playMidi();
    EXPECT_EQ(sound.count("play"), 3);
    EXPECT_EQ(redisplays, 1) << "the keys went down: the picture must show it";
    EXPECT_FALSE(piano->animating()) << "the keys are still while held";
    noteOff(48);
    piano->playMidi();
    EXPECT_TRUE(piano->animating()) << "a key let go rises over the next frames";
    frames(3);
    EXPECT_FALSE(piano->animating());
}

// The MIDI system went away (a JACK server that stopped): note-offs will never come, so every
// note that came in is let go as its note-off would, the pedal's too, after what came before.
TEST_F(MidiIn, ALostConnectionLetsGoOfEveryNoteAndThePedalButNotALetterHeld) {
    press('0');  // letters sound at the press, through the same keys as MIDI notes
    press('s');  // C4, key 7, held on the computer keyboard
    pedal(true);
    noteOn(64);  // E4
    noteOn(67);  // G4
    noteOff(67);  // held by the pedal
    frame();
    piano->midiInbox().connectionLost();
    EXPECT_TRUE(midiInputPending());
    EXPECT_EQ(framesToRest(9), 3) << "E4 rises as at its note-off";
    EXPECT_EQ(key(11).pressFactor, 0.0f) << "G4 with it: the pedal is up";
    EXPECT_FALSE(piano->midi().pedal());
    EXPECT_FLOAT_EQ(key(7).pressFactor, 1.0f) << "the letter still held keeps its key down";
    EXPECT_EQ(sound.count("stop"), 2);
    release('s');
    EXPECT_EQ(framesToRest(7), 3);
}

TEST_F(MidiIn, ALostConnectionIsTakenEvenWhenAFloodHasFilledTheQueue) {
    noteOn(64);
    frame();
    for (int i = 0; i < 1500; ++i) noteOn(60 + i % 2);
    piano->midiInbox().connectionLost();
    frame();
    EXPECT_EQ(sound.count("play"), 1024) << "the newest note made way for it";
    EXPECT_LT(key(9).pressFactor, 1.0f) << "E4 is let go";
    EXPECT_EQ(framesToRest(9), 2);
}

TEST_F(MidiIn, TheRightHandFollowsANoteOfItsKeysWithoutSoundingOrPressingAgain) {
    noteOn(64);
    frame();
    EXPECT_EQ(currNote(), 9);
    EXPECT_TRUE(piano->noteStroke().showOnly);
    frames(10);  // the finger is on the key within 0.04 s of stroke time
    EXPECT_EQ(rightHand().animationStatus, Hand::HOLD);
    EXPECT_EQ(sound.count("play"), 1) << "the hand's stroke sounds nothing";
    noteOff(64);
    frames(20);
    EXPECT_EQ(currNote(), -1) << "the hand lifted with the note-off and is free";
    EXPECT_EQ(rightHand().animationStatus, Hand::NO_ANIMATION);

    // A second note while the first is followed: sounded and pressed, the hand stays.
    noteOn(60);
    noteOn(62);
    frame();
    EXPECT_EQ(currNote(), 7);
    EXPECT_FLOAT_EQ(key(8).pressFactor, 1.0f);
    // Below the right hand's keys: no stroke.
    noteOff(60);
    noteOff(62);
    frames(30);
    noteOn(50);
    frames(3);
    EXPECT_EQ(currNote(), -1);
}

TEST_F(MidiIn, ALetterTakesTheHandFromAFollowedNoteWhichKeepsSoundingAndItsKey) {
    noteOn(60);
    press('d');  // typed while the hand goes to C4: it waits for that stroke to strike
    frames(15);
    EXPECT_EQ(played(), (std::vector<std::string>{pianoSample("C1.mp3"), pianoSample("D1.mp3")}));
    EXPECT_EQ(currNote(), 8);
    EXPECT_FLOAT_EQ(key(7).pressFactor, 1.0f) << "the followed note lost its key";
    EXPECT_EQ(sound.count("stop"), 0);
    release('d');
    frames(20);
    noteOff(60);
    EXPECT_EQ(framesToRest(7), 3);

    // The letter of the very key the hand follows, let go before its turn, is a tap: the
    // release is the letter's, not the followed note's.
    noteOn(60);
    frame();
    press('s');
    release('s');
    frames(40);
    EXPECT_EQ(currNote(), -1) << "the letter's stroke was left held";
    EXPECT_EQ(sound.count("play"), 4);
}

TEST_F(MidiIn, TheLeftHandShowsAHeldTriadThatIsOneOfTheModesChords) {
    for (int note : {48, 52, 55}) noteOn(note);  // C major on C3 E3 G3: 'z' in major
    frame();
    EXPECT_EQ(playChord(), CEG);
    EXPECT_TRUE(piano->chordStroke().showOnly);
    frames(15);
    EXPECT_EQ(leftHand().animationStatus, Hand::HOLD);
    EXPECT_EQ(sound.count("play"), 3) << "the chord's stroke sounds nothing more";
    noteOff(52);
    frames(20);
    EXPECT_EQ(playChord(), NONE) << "one note let go: the hand lifts";
    EXPECT_FLOAT_EQ(key(0).pressFactor, 1.0f) << "the notes still held stay down";
    EXPECT_FLOAT_EQ(key(4).pressFactor, 1.0f);

    noteOff(48);
    noteOff(55);
    frames(5);
    press('-');  // C major is none of the minor mode's chords
    release('-');
    for (int note : {48, 52, 55}) noteOn(note);
    frame();
    EXPECT_EQ(playChord(), NONE);
    for (int note : {48, 52, 55}) noteOff(note);
    for (int note : {48, 52, 57}) noteOn(note);  // A minor, 'z' in minor
    frame();
    EXPECT_EQ(playChord(), CEA);
}

TEST_F(MidiIn, TheOutputSendsTheLettersNotesWithTheProgramAndNotWhatCameIn) {
    piano->startMidiOutput(recordSent);
    frame();
    EXPECT_EQ(sent(), (std::vector<Bytes>{{0xC0, 0}})) << "the piano's program at the start";
    sent().clear();
    press('s');
    frames(12);
    release('s');
    frames(20);
    EXPECT_EQ(sent(), (std::vector<Bytes>{{0xC0, 0}, {0x90, 60, 127}, {0x80, 60, 64}}))
        << "a note after silence names the program again, for a synthesizer connected late";

    sent().clear();
    press(' ');  // the synth
    frame();
    EXPECT_EQ(sent(), (std::vector<Bytes>{{0xC0, 81}}));
    press('z');
    frames(15);
    ASSERT_EQ(sent().size(), 5u);  // the program again, then C E G
    EXPECT_EQ(sent()[2], (Bytes{0x90, 48, 90})) << "a chord note at half volume";

    sent().clear();
    noteOn(72);
    frames(5);
    EXPECT_TRUE(sent().empty()) << "a note that came in through MIDI went back out";

    piano->stopMidiOutput();  // as at exit: C E G are still held
    ASSERT_EQ(sent().size(), 3u);
    for (const Bytes& off : sent()) EXPECT_EQ(off[0], 0x80);
}

TEST(MidiVelocity, FollowsTheSquareLawBothWays) {
    EXPECT_FLOAT_EQ(velocityVolume(127), 1.0f);
    EXPECT_NEAR(velocityVolume(64), 0.254f, 0.001f);
    for (int velocity = 1; velocity <= 127; ++velocity)
        EXPECT_EQ(volumeVelocity(velocityVolume(velocity)), velocity);
    EXPECT_EQ(volumeVelocity(0.0f), 1) << "a note-on of velocity 0 would be a note-off";
}
