"""Song playback in real time, through the real program's frame loop and sound device: one
short song, every entry pressed on its beat, its sample started then and heard; then the same
song played along, waiting for the letter it shows; at a tempo set with "[" and "]"; played
along with the left hand, its chords waiting for their letters; a passage marked with "'" on
repeat; the play-along result kept in the progress file and shown when the song is chosen,
after a restart too; and with the notes coming shown (Return), each entry's bar over its keys
before it is heard.

Beats are found from the frames the program logs it stepped (TINKLEWOOD_EVENT_LOG), sample
starts from its log too; the capture then says whether each was heard when it was started.
The song (songs/timing.song) has entries of two beats or more. Its chords start only on beats where a note starts too, so
each hand is heard through the fundamentals of its own notes. The right hand plays black keys
only, whose pitches no partial of the chords (C, D, E, F, G, A, B of octave 3) comes near.
The chords are played so that the right hand is heard over a real accompaniment; their
onsets are not counted here: a chord's narrow bands ring on across the short silence before
the next chord and blur its start at some frame rates. That every chord of a song starts on
its beat is checked frame by frame in the unit tests of the song player, and heard in the
rendered sound of every shipped song (render_test), where one-beat entries and an
accompaniment outlasting its melody are heard too.
"""

import datetime
import math
import subprocess
import sys
import tempfile
import threading
import time
import unittest
from pathlib import Path

import sound
import numpy as np

from support import E2E_DIR, FastInput, Program, make_layout, read_song

STEPS_PER_BEAT = 10
BEAT = STEPS_PER_BEAT / 60  # seconds, at the written tempo
STRIKE = 0.16
# Chords are C3 to B3 (MIDI 48 to 59); the piano's higher notes carry a low thump of their own,
# so both hands are heard through their fundamentals alone.
BLACK_NOTES = (61, 63, 66, 68, 70)
CHORD_NOTES = range(48, 60)
# How alike the capture must be to a sample for it to count as that sample, heard over the
# chord that starts with it.
ALIKE = 0.6
RIGHT_LETTERS = "sdfghjkleryui"
CHORD_LETTERS = "zxcvb"
# The samples of the left hand's keys, C3 to B3 and their black keys, and their notes.
CHORD_MIDI = {f"../res/sounds/piano/{name}.mp3": midi for name, midi in
              zip(["C0", "Black0", "D0", "Black1", "E0", "F0", "Black2", "G0", "Black3", "A0", "Black4", "B0"],
                  range(48, 60))}
CHORD_SAMPLES = tuple(CHORD_MIDI)
NOTE_MIDI = [60, 62, 64, 65, 67, 69, 71, 72, 61, 63, 66, 68, 70]  # s d f g h j k l e r y u i


def hands(path):
    """The right and left entries of a song as the program reads it: (beats, letter index)."""
    song = read_song(path)
    return [(int(b), int(i)) for b, i in song["right"]], [(int(b), int(i)) for b, i in song["left"]]


def heard_tempo(heard, beats):
    """The tempo the entries were heard at, as a share of the written one: the slope of the
    line fitted through all of them. A song steps on frames, so each entry may come up to a frame
    late; from its first and last entries alone, one late first entry on a busy machine read as a
    song 2% fast over this short song."""
    slope = np.polyfit([b * BEAT for b in beats], heard, 1)[0]
    return 1 / slope


def start_beats(entries):
    beats, total = [], 0
    for duration, _ in entries:
        beats.append(total)
        total += duration
    return beats, total


def hint_box(shot):
    """Where the strong blue of the letter to play next shows: the centre (x, y) of those
    pixels, or None when there are none."""
    rgb = shot.astype(int)
    blue = (rgb[:, :, 2] > 180) & (rgb[:, :, 0] < 80) & (rgb[:, :, 1] < 140)
    ys, xs = np.nonzero(blue)
    if len(xs) < 20:
        return None
    return float(xs.mean()), float(ys.mean())


# Where the notes coming are drawn: bars float over the keys with their tops this high, reach a
# key's front edge (a white key's at z 1.5, a black one's at 0) when due, and come from z -6.
BAR_TOP = 0.67
BARS_FAR_Z = -6.0
BLACK_KEY_X = (-3.9, -3.3, -2.1, -1.5, -0.9, 0.3, 0.9, 2.1, 2.7, 3.3)
NOTE_KEYS = [7, 8, 9, 10, 11, 12, 13, 14, 20, 21, 22, 23, 24]  # the keys of s d f g h j k l e r y u i
# The keys of the chords z and x in major: C3 E3 G3 and D3 F3 A3.
CHORD_KEYS = {0: (0, 2, 4), 1: (1, 3, 5)}


def key_x(key):
    return key * 0.6 - 4.2 if key < 15 else BLACK_KEY_X[key - 15]


def on_screen(x, y, z, width=1200, height=1000):
    """Where a scene point shows in the main window at the starting camera (60 degrees about x,
    then 0.7 down and 7.5 away; 60 degrees of view), as (column, row from the top)."""
    turn = math.radians(60)
    ey = y * math.cos(turn) - z * math.sin(turn) - 0.7
    ez = y * math.sin(turn) + z * math.cos(turn) - 7.5
    focal = 1 / math.tan(math.radians(30))
    column = (focal / (width / height) * x / -ez + 1) / 2 * width
    up = (focal * ey / -ez + 1) / 2 * height
    return int(round(column)), int(round(height - 1 - up))


def bar_path(key):
    """The pixels over a key along which its bars come: from its front edge back to where they
    come into view, as (rows, columns)."""
    front = 1.5 if key < 15 else 0.0
    points = [on_screen(key_x(key), BAR_TOP, front + (BARS_FAR_Z - front) * i / 200) for i in range(201)]
    columns = np.array([c for c, _ in points])
    rows = np.array([r for _, r in points])
    return rows, columns


def blue(rgb):
    # Blue, or the pale blue a bar turns under the spot light's centre, where the keys are white.
    return (rgb[..., 2] > 120) & (rgb[..., 2] > rgb[..., 0] + 80) & (rgb[..., 2] >= rgb[..., 1])


def orange(rgb):
    r, g, b = rgb[..., 0], rgb[..., 1], rgb[..., 2]
    return (r > 170) & (g > 0.3 * r) & (g < 0.65 * r) & (b < 0.2 * r)


class Shots(threading.Thread):
    """Screenshots taken one after another until stopped, each with the time it was complete:
    what it shows was drawn before then."""

    def __init__(self, program):
        super().__init__(daemon=True)
        self.program, self.taken, self.stopping = program, [], threading.Event()
        self.start()

    def run(self):
        while not self.stopping.is_set():
            shot = self.program.shot()
            self.taken.append((time.monotonic(), shot))

    def stop(self):
        self.stopping.set()
        self.join()
        return self.taken


SONG = E2E_DIR / "songs" / "timing.song"


class SongTest(unittest.TestCase):
    """One run of the program with the short song in twinkle.song's place, taken through the
    steps in order (the names keep it): the program plays it, then the player plays along."""

    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.TemporaryDirectory()
        cls.own = None  # when the program's own playing started each right-hand sample
        # The user's folder outlives a run of the program: the progress file is read again
        # after a restart.
        cls.data = Path(cls.root.name) / "data"
        try:
            cls.workdir = make_layout(cls.root.name, songs={"twinkle.song": SONG.read_text()}, only_songs=True)
            cls.program = Program(cls.workdir, env={"XDG_DATA_HOME": str(cls.data)})
        except Exception:
            cls.root.cleanup()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.program.close()
        cls.root.cleanup()

    def caption_after(self, t, timeout=5):
        """The last caption the program showed after time t, waiting for one to be logged."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            said = [detail for _, at, detail in self.program.events("caption") if at >= t]
            if said:
                return said[-1]
            time.sleep(0.02)
        return None

    def play_along(self, told):
        """Steps "9" until its caption says told."""
        for _ in range(4):
            pressed = time.monotonic()
            self.program.key("9")
            if self.caption_after(pressed) == told:
                return
        self.fail(f'"9" never said "{told}"')

    def heard_right(self, pressed):
        """When each right-hand sample started since pressed was heard in the capture."""
        p = self.program
        samples = p.capture()
        heard = []
        for played, path in [(t, path) for _, t, path in p.events("play") if t >= pressed and "/Black" in path]:
            at, alike, _ = sound.heard_near(p, samples, sound.decode(self.workdir / path), played)
            self.assertGreater(alike, ALIKE, f"{path} was not heard")
            heard.append(at)
        return heard

    def wait_song_press(self, letter, after, timeout=20):
        """The time of the song's first press of letter after the given time."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = [t for _, t, pressed in self.program.events("song-press") if t > after and pressed == letter]
            if found:
                return found[0]
            time.sleep(0.01)
        self.fail(f"the song did not press {letter}")

    def play_own(self):
        """Presses "5": the program plays the song. Returns when the press was taken."""
        p = self.program
        right, _ = hands(SONG)
        pressed = p.keydown("5")
        p.keyup("5")
        # The song runs its beats of ten frames; wait them out and a little more.
        p.frames_from(pressed, sum(d for d, _ in right) * STEPS_PER_BEAT + 12, timeout=240)
        time.sleep(0.5)
        type(self).own = [t for _, t, path in p.events("play") if t >= pressed and "/Black" in path]
        return pressed

    def test_1_song_sounds_one_onset_per_entry_each_on_its_beat(self):
        right, left = hands(SONG)
        right_beats, length = start_beats(right)
        left_beats, _ = start_beats(left)
        self.assertTrue(set(left_beats) <= set(right_beats), "the song must start chords with notes")
        p = self.program
        time.sleep(0.5)
        pressed = self.play_own()
        samples, zero = p.capture(), p.audio_zero()

        # The beats, from the frames the program stepped: each right-hand entry is
        # pressed by the song as many frames after the one before as the one before lasts.
        presses = [t for _, t, letter in p.events("song-press") if t >= pressed and letter in RIGHT_LETTERS]
        self.assertEqual(len(presses), len(right), "the song did not press every right-hand entry")
        frames = p.logged_frames(pressed)
        for i in range(1, len(presses)):
            stepped = len([f for f in frames if presses[i - 1] < f <= presses[i]])
            self.assertEqual(stepped, right[i - 1][0] * STEPS_PER_BEAT,
                             f"entry {i} was pressed {stepped} frames after entry {i - 1}")

        # Each entry's sample starts after its press, no sooner than the stroke takes to
        # reach the key, and before the next entry.
        plays = [(t, path) for _, t, path in p.events("play")
                 if t >= pressed and path.startswith("../res/sounds/piano/Black")]
        self.assertEqual(len(plays), len(right), f"samples started: {plays}")
        for i, ((played, path), press) in enumerate(zip(plays, presses)):
            self.assertGreaterEqual(played - press, STRIKE, f"entry {i} sounded before its stroke struck")
            if i + 1 < len(presses):
                self.assertLess(played, presses[i + 1])

        # And heard when started: each entry's own sample is what is heard from its
        # logged start, within the mixer's reach, at its pitch.
        for i, ((played, path), (_, index)) in enumerate(zip(plays, right)):
            at, alike, (earliest, latest) = sound.heard_near(p, samples, sound.decode(self.workdir / path), played)
            self.assertGreater(alike, ALIKE, f"entry {i}: its sample is not what was heard")
            self.assertTrue(earliest <= at <= latest,
                            f"entry {i} heard {at - played:+.4f} s from the start of its sample")
            note, _ = sound.strongest_note(samples, at - zero + 0.02, 0.12, candidates=BLACK_NOTES)
            self.assertEqual(note, NOTE_MIDI[index], f"entry with index {index} sounded MIDI {note}")

    def test_2_played_along_the_song_waits_for_the_shown_letter_and_in_time_keeps_its_own_onsets(self):
        """Playing along: the song shows the next letter and its beat counter waits for it."""
        right, left = hands(SONG)
        letters = [RIGHT_LETTERS[index] for _, index in right]
        p = self.program
        if self.own is None:  # the program's own playing, when step 1 was not run
            self.play_own()
        own = self.own
        self.assertEqual(len(own), len(right))
        self.play_along("play along: right hand")
        started = p.keydown("5")
        p.keyup("5")
        time.sleep(3.0)
        first_hint = hint_box(p.settled_shot())
        self.assertIsNotNone(first_hint, "no letter is shown to play")
        self.assertEqual([t for _, t, _ in p.events("play") if t > started], [],
                         "something sounded before the player played")

        fast = FastInput(p.display, p.main)
        try:
            # A wrong letter sounds its own note; the song waits on, the same letter shown.
            wrong = "s"
            fast.key(fast.keycode(wrong), True)
            time.sleep(0.05)
            fast.key(fast.keycode(wrong), False)
            time.sleep(0.6)
            plays = [path for _, t, path in p.events("play") if t > started]
            self.assertEqual(plays, ["../res/sounds/piano/C1.mp3"], "the wrong letter's note")
            self.assertEqual(hint_box(p.settled_shot()), first_hint, "the shown letter moved")
            self.assertEqual([e for e in p.events("song-press") if e[1] > started], [],
                             "the song went on after a wrong letter")

            # Now every letter at the time the program itself pressed it.
            presses = [t for _, t, letter in p.events("song-press") if letter in RIGHT_LETTERS][:len(right)]
            begin = time.monotonic() + 0.2
            for letter, at in zip(letters, presses):
                time.sleep(max(0.0, begin + (at - presses[0]) - time.monotonic()))
                code = fast.keycode(letter)
                fast.key(code, True)
                if letter == letters[1]:
                    second_hint = hint_box(p.shot())
                time.sleep(0.1)
                fast.key(code, False)
        finally:
            fast.close()
        self.assertNotEqual(second_hint, first_hint, "the next letter was not shown")
        p.frames_from(time.monotonic(), 40, timeout=30)
        time.sleep(0.5)
        along = [t for _, t, path in p.events("play") if t > begin - 0.1 and "/Black" in path]
        log = [(kind, round(t - begin, 3), detail) for kind, t, detail in p.events()
               if t > begin - 0.1 and kind != "frame"]
        self.assertEqual(len(along), len(right), f"not every letter played sounded: {log}")
        beat = 10 * (sorted(np.diff(p.logged_frames()))[len(p.logged_frames()) // 2])
        for i, (mine, theirs) in enumerate(zip(along, own)):
            self.assertLess(abs((mine - along[0]) - (theirs - own[0])), beat,
                            f"entry {i} sounded {(mine - along[0]) - (theirs - own[0]):+.3f} s "
                            f"from where the program's own playing has it")
        chords = [t for _, t, letter in p.events("song-press") if t > begin - 0.1 and letter in "zxcvb"]
        self.assertEqual(len(chords), len(left), "the chords did not play with the player's notes")
        # The wrong letter before the first cost that entry its "right first time".
        told = self.caption_after(begin)
        self.assertTrue(told.startswith(f"right first time {len(right) - 1} of {len(right)} "), told)
        self.assertTrue(told.endswith(" - the best so far"), told)

    def test_3_on_a_busy_machine_the_song_keeps_its_written_tempo(self):
        """Two loops keep both cores busy: the program draws fewer frames, but the song's time is
        the clock's, so its entries are heard as far apart as they are written."""
        right, _ = hands(SONG)
        beats, _ = start_beats(right)
        p = self.program
        self.play_along("the program plays")
        busy = [subprocess.Popen([sys.executable, "-c", "while True: pass"]) for _ in range(2)]
        try:
            time.sleep(0.5)
            pressed = p.keydown("5")
            p.keyup("5")
            time.sleep(sum(d for d, _ in right) * BEAT + 1.0)
        finally:
            for loop in busy:
                loop.kill()
                loop.wait()
        p.frames_from(time.monotonic(), 10, timeout=60)
        time.sleep(0.5)
        samples = p.capture()
        plays = [(t, path) for _, t, path in p.events("play") if t >= pressed and "/Black" in path]
        self.assertEqual(len(plays), len(right), "not every entry sounded")
        heard = []
        for played, path in plays:
            at, alike, _ = sound.heard_near(p, samples, sound.decode(self.workdir / path), played)
            self.assertGreater(alike, ALIKE, f"{path} was not heard")
            heard.append(at)
        tempo = heard_tempo(heard, beats)
        frames = p.logged_frames(pressed, heard[-1])
        drawn = len([t for t in p.frames.between(pressed, heard[-1])]) / (heard[-1] - heard[0])
        print(f"\nbusy: {drawn:.0f} frames drawn a second; the song at {100 * tempo:.1f}% of its tempo "
              f"({len(frames)} steps)", flush=True)
        self.assertLess(abs(tempo - 1), 0.02, f"the song played at {100 * tempo:.1f}% of its written tempo")
        for i in range(1, len(heard)):
            self.assertLess(abs((heard[i] - heard[0]) - (beats[i] - beats[0]) * BEAT), 0.06,
                            f"entry {i} heard {heard[i] - heard[0]:.3f} s after the first, written "
                            f"{(beats[i] - beats[0]) * BEAT:.3f} s")

    def test_4_after_two_right_brackets_the_song_comes_at_120_percent_after_four_left_at_60(self):
        right, _ = hands(SONG)
        beats, _ = start_beats(right)
        p = self.program
        self.play_along("the program plays")
        set_to = 100
        try:
            for keys, percent in ((["bracketright"] * 2, 120), (["bracketleft"] * 2, 100), (["bracketleft"] * 4, 60)):
                pressed = time.monotonic()
                for key in keys:
                    p.key(key)
                self.assertEqual(self.caption_after(pressed), f"tempo {percent}%")
                set_to = percent
                if percent == 100:
                    continue
                tempo = percent / 100
                pressed = p.keydown("5")
                p.keyup("5")
                time.sleep(sum(d for d, _ in right) * BEAT / tempo + 0.5)
                p.frames_from(time.monotonic(), 10, timeout=60)
                time.sleep(0.5)
                heard = self.heard_right(pressed)
                self.assertEqual(len(heard), len(right), "not every entry sounded")
                measured = heard_tempo(heard, beats)
                print(f"\nat {percent}%: the song heard at {100 * measured:.1f}% of its written tempo", flush=True)
                self.assertLess(abs(measured - tempo), 0.02 * tempo,
                                f"at {percent}% the song played at {100 * measured:.1f}%")
                for i in range(1, len(heard)):
                    self.assertLess(abs((heard[i] - heard[0]) - (beats[i] - beats[0]) * BEAT / tempo), 0.06,
                                    f"at {percent}%, entry {i} heard {heard[i] - heard[0]:.3f} s after the first")
        finally:
            # The steps after this one play at the written tempo.
            pressed = time.monotonic()
            for _ in range(abs(100 - set_to) // 10):
                p.key("bracketright" if set_to < 100 else "bracketleft")
        if set_to != 100:
            self.assertEqual(self.caption_after(pressed), "tempo 100%")

    def test_5_a_play_along_result_is_kept_and_shown_when_the_song_is_chosen_again_also_after_a_restart(self):
        right, _ = hands(SONG)
        progress = self.data / "tinklewood" / "progress"
        if not progress.exists():  # written at the end of step 2's run, when it was not run
            self.test_2_played_along_the_song_waits_for_the_shown_letter_and_in_time_keeps_its_own_onsets()
        today = datetime.date.today().isoformat()
        lines = [line.split("\t") for line in progress.read_text().splitlines() if not line.startswith("#")]
        self.assertEqual(len(lines), 1, lines)
        fields = lines[0]
        self.assertEqual(fields[:3], [str(len(right) - 1), str(len(right)), "1"])
        self.assertEqual(fields[6:], ["100", "right", today, "twinkle.song"])
        share = 100 * (len(right) - 1) // len(right)
        expected = f"Twinkle - 5 to play - best {share}% right first time (right hand, tempo 100%, {today})"
        pressed = time.monotonic()
        self.program.key("6")
        self.assertEqual(self.caption_after(pressed), expected)

        self.program.close()
        type(self).program = Program(self.workdir, env={"XDG_DATA_HOME": str(self.data)})
        pressed = time.monotonic()
        self.program.key("6")
        self.assertEqual(self.caption_after(pressed), expected, "not kept across a restart")

    def test_6_with_the_left_hand_no_chord_sounds_before_its_letter_and_the_melody_plays_by_itself(self):
        right, left = hands(SONG)
        p = self.program
        self.play_along("play along: left hand")
        started = p.keydown("5")
        p.keyup("5")
        time.sleep(1.0)
        self.assertEqual([e for e in p.events("play") if e[1] > started], [], "something sounded before the first chord")
        letters = [CHORD_LETTERS[index] for _, index in left]
        melody = [RIGHT_LETTERS[index] for _, index in right]
        chord_beats, _ = start_beats(left)
        melody_beats, _ = start_beats(right)
        typed = []
        for i, letter in enumerate(letters):
            if i > 0:
                # A chord starts with a note of the melody, which the song plays by itself; its
                # letter comes a beat and a half after that: the song stops a beat on and waits.
                note = self.wait_song_press(melody[melody_beats.index(chord_beats[i])], typed[-1])
                time.sleep(max(0.0, note + 1.5 * BEAT - time.monotonic()))
            typed.append(p.hold(letter, 0.4)[0])
        self.wait_song_press(melody[-1], typed[-1])
        p.frames_from(time.monotonic(), 40, timeout=60)
        time.sleep(0.5)
        samples = p.capture()

        self.assertEqual([letter for _, t, letter in p.events("song-press") if t > started and letter in CHORD_LETTERS],
                         [], "the song pressed a chord of its own")
        pressed_by_song = [letter for _, t, letter in p.events("song-press") if t > started and letter in RIGHT_LETTERS]
        self.assertEqual(pressed_by_song, melody, "the melody did not play by itself")
        # Three samples a chord, every one after its own letter's press: none came before.
        chords = [(t, path) for _, t, path in p.events("play") if t > started and path in CHORD_SAMPLES]
        self.assertEqual(len(chords), 3 * len(typed), f"chord samples: {chords}")
        for i, pressed in enumerate(typed):
            until = typed[i + 1] if i + 1 < len(typed) else float("inf")
            mine = [(t, path) for t, path in chords if pressed < t < until]
            self.assertEqual(len(mine), 3, f"chord {i} started before its letter: {chords}")
            for played, path in mine:
                self.assertGreaterEqual(played - pressed, STRIKE - 0.012, f"chord {i} sounded before its stroke struck")
            # Heard once its stroke struck, and not before: the fundamental of its lowest note (a
            # semitone or more from every note of the chord before, and from the half pitches of
            # the melody's low thump) is strong from where its sample may be heard, weak before.
            first = min(t for t, _ in mine)
            hz = sound.midi_hz(min(CHORD_MIDI[path] for _, path in mine))
            earliest, latest = sound.heard_window(p, first)
            before = sound.strength(*sound.spectrum(samples, earliest - p.audio_zero() - 0.25, 0.25), hz)
            after = sound.strength(*sound.spectrum(samples, latest - p.audio_zero(), 0.25), hz)
            self.assertGreater(after, 4 * before, f"chord {i} was heard before its sample started, or not after")
        told = self.caption_after(typed[-1])
        self.assertTrue(told.startswith(f"right first time {len(left)} of {len(left)} (100%)"), told)

    def test_7_a_marked_passage_repeats_three_times_in_a_row_until_cleared(self):
        right, _ = hands(SONG)
        letters = [RIGHT_LETTERS[index] for _, index in right]
        p = self.program
        self.play_along("the program plays")
        started = p.keydown("5")
        p.keyup("5")
        second = self.wait_song_press(letters[1], started)
        p.key("apostrophe")
        self.assertEqual(self.caption_after(second), "passage from note 2 - ' again to end it")
        third = self.wait_song_press(letters[2], second)
        p.key("apostrophe")
        self.assertEqual(self.caption_after(third), "passage to note 3 on repeat - ' again to clear it")
        after = third
        for repeat in range(3):
            after = self.wait_song_press(letters[2], self.wait_song_press(letters[1], after))
        p.key("apostrophe")
        self.assertEqual(self.caption_after(after), "passage cleared: the song goes on")
        self.wait_song_press(letters[-1], after)
        p.frames_from(time.monotonic(), 40, timeout=30)
        time.sleep(0.5)

        presses = [(t, letter) for _, t, letter in p.events("song-press") if t > started and letter in RIGHT_LETTERS]
        sequence = [letter for _, letter in presses]
        passage = letters[1:3]
        self.assertEqual(sequence[:3], letters[:3])
        self.assertEqual(sequence[3:9], passage * 3, f"not three repeats in a row: {sequence}")
        self.assertEqual(sequence[-3:], letters[3:], "the song did not go on after the passage")
        self.assertEqual(set(zip(sequence[3:-3:2], sequence[4:-3:2])), {tuple(passage)})
        # Each repeat as long as the passage, in the program's steps: its two entries' beats.
        frames = p.logged_frames(started)
        starts = [t for t, letter in presses if letter == passage[0]]
        span = (right[1][0] + right[2][0]) * STEPS_PER_BEAT
        for a, b in zip(starts, starts[1:]):
            self.assertEqual(len([f for f in frames if a < f <= b]), span)
        # And heard: every sample of the repeats at its start.
        self.assertEqual(len(self.heard_right(started)), len(sequence))

    def test_8_the_notes_coming_show_each_entry_over_its_keys_before_it_is_heard(self):
        """Return: each entry's bar over its keys in the second before it is heard, the right
        hand's blue and the chords' orange; none over keys the song does not play, and none
        once Return is pressed again."""
        right, left = hands(SONG)
        p = self.program
        self.play_along("the program plays")
        p.key("Return")
        still = p.settled_shot()  # at rest, no song: what every pixel shows without bars
        pressed = p.keydown("5")
        p.keyup("5")
        shots = Shots(p)
        time.sleep(sum(d for d, _ in right) * BEAT + 0.5)
        taken = shots.stop()
        p.frames_from(time.monotonic(), 10, timeout=60)
        time.sleep(0.5)
        samples = p.capture()
        self.assertGreater(len(taken), 3, "too few screenshots to judge")

        def shown(key, colour, before, within=1.0):
            """Whether a shot complete within `within` s before `before` has the colour along
            the key's path where the still picture has not."""
            rows, columns = bar_path(key)
            for at, shot in taken:
                if before - within <= at < before:
                    rgb, base = shot[rows, columns], still[rows, columns]
                    if np.count_nonzero(colour(rgb) & ~colour(base)) >= 5:
                        return True
            return False

        # The right hand's entries, by when their samples were heard in the mix.
        plays = [(t, path) for _, t, path in p.events("play") if t >= pressed and "/Black" in path]
        self.assertEqual(len(plays), len(right), "not every entry sounded")
        for i, ((played, path), (_, index)) in enumerate(zip(plays, right)):
            heard, alike, _ = sound.heard_near(p, samples, sound.decode(self.workdir / path), played)
            self.assertGreater(alike, ALIKE, f"entry {i} was not heard")
            # The first entry starts with the song, heard 0.18 s after "5", sooner than a
            # screenshot is complete: its bar is looked for while it sounds (it sinks into the
            # key while the entry lasts). One beat of it was too short a time for two shots
            # with other programs busy.
            lasts = right[0][0] * BEAT
            self.assertTrue(shown(NOTE_KEYS[index], blue, heard if i > 0 else heard + lasts), f"entry {i}: no bar over its key before it was heard")
        # The chords' onsets blur in the mix (see above): their samples' starts, which come
        # before they are heard, stand for them.
        chord_starts = sorted({t for _, t, path in p.events("play") if t >= pressed and path.endswith(("C0.mp3", "D0.mp3"))})
        self.assertEqual(len(chord_starts), len(left), "not every chord sounded")
        for i, (started, (_, index)) in enumerate(zip(chord_starts, left)):
            for key in CHORD_KEYS[index]:
                self.assertTrue(shown(key, orange, started if i > 0 else started + left[0][0] * BEAT), f"chord {i}: no bar over key {key} before it sounded")
        # Keys the song never plays have no bar at any time.
        for key in (7, 10, 13, 14):
            self.assertFalse(shown(key, blue, math.inf, math.inf), f"a bar over key {key}, which the song does not play")

        p.key("Return")
        p.frames_from(time.monotonic(), 10, timeout=60)
        pressed = p.keydown("5")
        p.keyup("5")
        shots = Shots(p)
        time.sleep(1.5)
        taken = shots.stop()
        for key in set(NOTE_KEYS[i] for _, i in right):
            self.assertFalse(shown(key, blue, math.inf, math.inf), f"a bar over key {key} with the notes hidden")
        for key in CHORD_KEYS[0] + CHORD_KEYS[1]:
            self.assertFalse(shown(key, orange, math.inf, math.inf), f"a bar over key {key} with the notes hidden")
        p.frames_from(pressed, sum(d for d, _ in right) * STEPS_PER_BEAT + 12, timeout=240)


if __name__ == "__main__":
    unittest.main()
