"""Playing as a user: notes and chords heard at the right time and pitch, keys sinking,
instruments and backgrounds, concert lights, the camera under the mouse, and Escape."""

import time
import unittest

import numpy as np

import picture
import sound
from support import SOURCE_DIR, FastInput, OneProgramTest

# How far the sound may sit from the frame that starts or stops it: the mixer's period, the
# capture's placement on the clock and the X server's millisecond stamps.
AUDIO_SLACK = 0.03
# The note a stroke may not sound before: the finger reaches the key 0.16 s into the stroke.
STRIKE = 0.16
# Stroke time at which a released key is back at rest and its sample stopped.
RELEASE_TO_REST = 0.04


class PlayingTest(OneProgramTest):
    """One run of the program, taken through the steps in order (the names keep it)."""

    def hold_and_listen(self, key, seconds=0.5, after=0.8):
        down, up = self.program.hold(key, seconds)
        time.sleep(after)
        self.program.wait_frames(2)
        samples = self.program.capture()
        zero = self.program.audio_zero()
        spans = sound.spans_between(samples, zero, down - 0.3, up + after)
        return down, up, samples, zero, spans

    def assert_one_sound_between(self, spans, down, up):
        self.assertEqual(len(spans), 1, f"expected one sound for one key, heard {spans}")
        start, end = spans[0]
        self.assertGreater(start, down, "the sound began before the key went down")
        self.assertLess(end, up + 1.0)
        return start, end

    def test_1_held_middle_c_sinks_sounds_after_the_stroke_and_stops_on_release(self):
        p = self.program
        down = p.keydown("s")
        p.frames_from(down + 0.4, 3)
        held = p.shot()
        time.sleep(max(0.0, down + 0.5 - time.monotonic()))
        up = p.keyup("s")
        time.sleep(0.8)
        p.wait_frames(2)
        samples, zero = p.capture(), p.audio_zero()

        # The key sinks: middle C (the eighth white key) changes on screen, keys far from
        # both hands do not.
        black, white = picture.keys_on_row(self.rest, picture.KEY_ROWS[0])
        self.assertEqual(len(white), 15)
        def column(index):
            start, width = white[index]
            return (slice(415, 560), slice(start, start + width))
        self.assertGreater(picture.changed_fraction(self.rest, held, column(7)), 0.05,
                           "middle C does not move on screen while held")
        for far in (0, 1, 13, 14):
            self.assertLess(picture.changed_fraction(self.rest, held, column(far)), 0.01,
                            f"white key {far} changed while only middle C was played")

        spans = sound.spans_between(samples, zero, down - 0.3, up + 0.8)
        start, end = self.assert_one_sound_between(spans, down, up)
        # The program's own log says when it took the key and when it started the sample: on
        # the first frame step at least STRIKE into the stroke, and heard then.
        taken = [t for _, t, key in p.events("key-press") if t >= down - 0.05 and key == str(ord("s"))][0]
        played, path = [(t, d) for _, t, d in p.events("play") if t > taken][0]
        self.assertEqual(path, "../res/sounds/piano/C1.mp3")
        self.assertGreaterEqual(played - taken, STRIKE, "middle C started before the finger could reach it")
        # The step that started it is the last one logged before it; the step before that
        # was still short of the strike (a millisecond allowed for the log's own timing).
        steps = p.logged_frames(taken, played)
        if len(steps) > 1:
            self.assertLess(steps[-2] - taken, STRIKE + 0.001, "the sample started a frame late")
        at, alike, (earliest, latest) = sound.heard_near(p, samples, sound.decode(SOURCE_DIR / "res/sounds/piano/C1.mp3"),
                                                         played)
        self.assertGreater(alike, 0.8)
        self.assertTrue(earliest <= at <= latest,
                        f"middle C was heard {at - played:+.4f} s from its start")
        self.assertGreater(end, up, "the sound ended while the key was still held")
        # The key is back at rest 0.04 s of stroke time after the release is taken; the
        # sample fades with it and is stopped there. About 0.1 s at most, or that frame if
        # the frames come slower.
        stop = p.stroke_frame(up, RELEASE_TO_REST)
        self.assertLessEqual(end, max(stop, up + 0.1) + AUDIO_SLACK,
                             f"the sound went on {end - up:.3f} s after the release; the frame at "
                             f"{stop - up:.3f} s should have stopped it, 0.1 s at most")
        note, _ = sound.strongest_note(samples, start - zero + 0.03, min(0.4, end - start - 0.05))
        self.assertEqual(note, 60, f"middle C sounded as MIDI {note}")

    def test_2_i_sounds_a_sharp_4(self):
        down, up, samples, zero, spans = self.hold_and_listen("i")
        start, end = self.assert_one_sound_between(spans, down, up)
        self.assertGreaterEqual(start - down, STRIKE - 0.012)
        note, _ = sound.strongest_note(samples, start - zero + 0.03, min(0.4, end - start - 0.05))
        self.assertEqual(note, 70, f"'i' sounded MIDI {note}, not A#4 (70)")

    def assert_chord(self, key, expected):
        down, up, samples, zero, spans = self.hold_and_listen(key, seconds=1.0)
        start, end = self.assert_one_sound_between(spans, down, up)
        self.assertGreaterEqual(start - down, STRIKE - 0.012)
        strengths = sound.fundamentals(samples, start - zero + 0.05, min(0.6, end - start - 0.1), range(48, 60))
        for midi in expected:
            self.assertGreater(strengths[midi], 0.25, f"MIDI {midi} of the chord is missing: {strengths}")
        for midi in set(range(48, 60)) - set(expected):
            self.assertLess(strengths[midi], 0.1, f"MIDI {midi} sounds in a chord without it: {strengths}")
        # The three samples are started in one frame step, and the chord is heard from then.
        plays = [t for _, t, _ in self.program.events("play") if down < t < up]
        self.assertEqual(len(plays), 3, "a chord starts three samples")
        self.assertLess(max(plays) - min(plays), 0.005, f"the chord's notes did not start together: {plays}")
        earliest, latest = sound.heard_window(self.program, plays[0])
        self.assertTrue(earliest <= start <= latest,
                        f"the chord was heard {start - plays[0]:+.3f} s from the start of its samples")

    def test_3_z_sounds_c_major(self):
        self.assert_chord("z", (48, 52, 55))

    def test_4_minus_then_z_sounds_a_minor(self):
        self.program.key("minus")
        self.assert_chord("z", (48, 52, 57))
        self.program.key("plus")

    def test_5_space_three_times_plays_the_music_box_before_its_background(self):
        p = self.program
        p.key("space", 3)
        shot = p.settled_shot()
        box = picture.background_picture("music_box.png")
        hall = picture.background_picture("hall.jpg")
        self.assertLess(picture.mean_difference(shot, box, picture.BACKGROUND_BELOW_CAPTION), 6,
                        "the music box background is not shown after three spaces")
        self.assertGreater(picture.mean_difference(shot, hall, picture.BACKGROUND_BELOW_CAPTION), 20)
        down, up, samples, zero, spans = self.hold_and_listen("s", seconds=0.8)
        start, end = self.assert_one_sound_between(spans, down, up)
        first = int((start - zero) * sound.RATE)
        piece = samples[first - 2000:first + 2000 + int(0.4 * sound.RATE)]
        similar = {}
        for instrument in ("piano", "synth", "organ", "music_box", "choir"):
            reference = sound.decode(SOURCE_DIR / "res" / "sounds" / instrument / "C1.mp3")[:int(0.4 * sound.RATE)]
            similar[instrument] = sound.best_alignment(piece, reference, 3000)
        self.assertGreater(similar["music_box"], 0.9, f"the music box sample is not what sounds: {similar}")
        others = max(v for k, v in similar.items() if k != "music_box")
        self.assertGreater(similar["music_box"] - others, 0.15, f"another instrument sounds as much: {similar}")

    def test_6_concert_mode_darkens_and_lights_the_keys_in_colour_and_3_brings_it_back(self):
        p = self.program
        before = p.settled_shot()
        p.key("4")
        # The three spots sweep between random aim points: over a few pictures each of
        # them lights the keys.
        lit = [0, 0, 0]
        for _ in range(6):
            concert = p.settled_shot(frames=2)
            self.assertLess(picture.luminance(concert[picture.BACKGROUND_BELOW_CAPTION]).mean(), 12,
                            "the background is not dark in concert mode")
            for channel in range(3):
                lit[channel] = max(lit[channel], picture.coloured_pixels(concert, picture.KEYBOARD, channel))
        for channel, name in enumerate(("red", "green", "blue")):
            self.assertGreater(lit[channel], 300, f"no {name} light on the keyboard in concert mode")
        p.key("3")
        after = p.settled_shot()
        self.assertLess(picture.mean_difference(after, before, picture.BACKGROUND_BELOW_CAPTION), 3,
                        "the background did not come back after '3'")
        for channel in (1, 2):
            self.assertLess(picture.coloured_pixels(after, picture.KEYBOARD, channel), 50,
                            "coloured light stayed on the keys after '3'")
        # The lights come back at the levels the program started with: the same picture, not
        # a flatter, brighter one.
        self.assertLess(picture.changed_fraction(before, after, picture.KEYBOARD), 0.002,
                        "'4' then '3' did not give back the picture from before")

    def scene_fraction(self, shot):
        """How much of the window shows the scene rather than the background picture."""
        box = picture.background_picture("music_box.png")
        return float((np.abs(shot - box).sum(axis=2) > 40).mean())

    def test_7_left_drag_turns_the_view_and_turning_back_restores_it(self):
        p = self.program
        before = p.settled_shot()
        p.drag(1, (450, 500), (750, 500))
        turned = p.settled_shot()
        self.assertGreater(picture.changed_fraction(before, turned, picture.KEYBOARD), 0.08,
                           "a left drag did not turn the view")
        p.drag(1, (750, 500), (450, 500))
        back = p.settled_shot()
        self.assertLess(picture.mean_difference(before, back), 1.0,
                        "dragging back by the same distance did not restore the view")

    def test_8_right_drag_zooms_between_its_limits(self):
        p = self.program
        near = p.settled_shot()
        p.drag(3, (600, 200), (600, 700))  # 500 px down: farther away
        farther = p.settled_shot()
        self.assertLess(self.scene_fraction(farther), 0.8 * self.scene_fraction(near),
                        "a right drag downwards did not move the scene away")
        # 2280 px more, past the far limit (2250 px from the start). A drag that starts in the
        # window goes on beyond its edges.
        for _ in range(2):
            p.drag(3, (600, 0), (600, 1140))
        farthest = p.settled_shot()
        p.drag(3, (600, 100), (600, 900))
        still = p.settled_shot()
        self.assertLess(self.scene_fraction(farthest), self.scene_fraction(farther))
        # At the far limit the scene still covers about 2% of the window (less with the lights
        # at their starting levels after "3"); without a limit it would go on shrinking.
        self.assertGreater(self.scene_fraction(farthest), 0.01, "the scene vanished: no far limit")
        self.assertLess(picture.mean_difference(farthest, still), 0.5, "the zoom went past its far limit")
        for _ in range(3):  # 3120 px up: far past the near limit
            p.drag(3, (600, 995), (600, -45))
        back = p.settled_shot()
        self.assertLess(picture.mean_difference(near, back), 1.0,
                        "zooming in stopped elsewhere than the starting distance, its near limit")

    def test_9_escape_ends_the_program_with_status_0(self):
        self.assertEqual(self.program.quit(), 0)


# s d f g h j k l e r: C4 D4 E4 F4 G4 A4 B4 C5 C#4 D#4
RUN = list("sdfghjkler")
RUN_FILES = ["C1", "D1", "E1", "F1", "G1", "A1", "B1", "C2", "Black5", "Black6"]


class TypingTest(OneProgramTest):
    """Typing as a careless user does: faster than the hand, with Shift and Caps Lock."""

    def listen(self, start, end):
        samples, zero = self.program.capture(), self.program.audio_zero()
        return samples, zero, sound.spans_between(samples, zero, start, end)

    def type_run(self, letters, gaps, hold=0.06):
        """Types letters through XTEST, each held `hold` seconds, the i-th `gaps[i % len(gaps)]`
        after the one before; returns the moments each went down."""
        p = self.program
        fast = FastInput(p.display, p.main)
        codes = [fast.keycode(letter) for letter in letters]
        pressed = []
        at = time.monotonic() + 0.1
        for i, code in enumerate(codes):
            time.sleep(max(0.0, at - time.monotonic()))
            pressed.append(time.monotonic())
            fast.key(code, True)
            time.sleep(hold)
            fast.key(code, False)
            at += gaps[i % len(gaps)]
        fast.close()
        return pressed

    def heard_after(self, letters, pressed, files):
        """When each letter's own sample is heard in the captured mix, in the order typed."""
        p = self.program
        time.sleep(1.0)
        p.wait_frames(2)
        samples = p.capture()
        plays = [(t, path) for _, t, path in p.events("play") if t > pressed[0]]
        names = [path.rsplit("/", 1)[1] for _, path in plays]
        self.assertEqual(names, [f"{n}.mp3" for n in files], "the notes did not start in the order typed")
        heard = []
        for played, path in plays:
            at, alike, (earliest, latest) = sound.heard_near(
                p, samples, sound.decode(SOURCE_DIR / "res/sounds/piano" / path.rsplit("/", 1)[1]), played, length=0.03)
            self.assertGreater(alike, 0.6, f"{path} was not heard")
            self.assertTrue(earliest <= at <= latest, f"{path} heard {at - played:+.3f} s from its start")
            heard.append(at)
        return heard

    def test_1_ten_letters_typed_at_120_ms_a_key_all_sound_in_order(self):
        p = self.program
        start = time.monotonic()
        self.type_run(RUN, [0.12])
        time.sleep(len(RUN) * 0.2 + 1.0)
        p.wait_frames(2)
        # The log in its order. Steps are logged at their own time, the piano's: a step that ran
        # late says when it was due, and its events come after its line.
        log = [event for event in p.events() if event[1] > start]
        def step_of(index):
            """The time of the step in which the event at index was logged."""
            return next(t for kind, t, _ in reversed(log[:index]) if kind == "frame")
        frames = [t for kind, t, _ in log if kind == "frame"]
        strokes = [(i, t) for i, (kind, t, hand) in enumerate(log) if kind == "stroke" and hand == "right"]
        presses = [t for kind, t, key in log if kind == "key-press" and key in [str(ord(c)) for c in RUN]]
        starts = [(i, t, path) for i, (kind, t, path) in enumerate(log) if kind == "play"]
        names = [path.rsplit("/", 1)[1] for _, _, path in starts]
        self.assertEqual(names, [f"{n}.mp3" for n in RUN_FILES], "the notes did not start in the order typed")
        self.assertEqual(len(presses), len(RUN))
        for (index, played, path), pressed in zip(starts, presses):
            # Struck as on a free hand, STRIKE after its own press, however long it waited: on
            # the first step STRIKE on, or, for a letter that waited until too late for that,
            # two steps into its own quicker stroke.
            stroke = [s for s in strokes if s[0] < index][-1][1]
            due = max(pressed + STRIKE, stroke + 2 / 60)
            self.assertGreaterEqual(step_of(index), pressed + STRIKE - 0.001, f"{path} sounded before its time")
            late = [f for f in frames if due + 0.001 < f < step_of(index)]
            self.assertEqual(late, [], f"{path} sounded {step_of(index) - pressed:.3f} s after its press, a step late")

    def test_2_an_uneven_rhythm_typed_is_heard_as_typed(self):
        # Sixteen letters with gaps of 0.1 and 0.2 s in turn: most wait for the hand, yet each is
        # heard the same time after its press, as far as the mixer and the steps allow.
        letters = list("sdfghjklsdfghjkl")
        files = ["C1", "D1", "E1", "F1", "G1", "A1", "B1", "C2"] * 2
        pressed = self.type_run(letters, [0.1, 0.2], hold=0.05)
        heard = self.heard_after(letters, pressed, files)
        delays = [h - t for h, t in zip(heard, pressed)]
        print(f"\nfinger first: press to sound {1000 * min(delays):.0f} to {1000 * max(delays):.0f} ms", flush=True)
        self.assertLess(max(delays) - min(delays), 0.06, f"the delays spread: {[round(d, 3) for d in delays]}")
        self.assertGreater(min(delays), STRIKE - 0.01, "a letter sounded before its finger reached the key")

    def test_3_with_0_each_letter_sounds_at_its_press(self):
        p = self.program
        p.key("0")
        time.sleep(0.3)
        letters = list("sdfghjklsdfghjkl")
        files = ["C1", "D1", "E1", "F1", "G1", "A1", "B1", "C2"] * 2
        pressed = self.type_run(letters, [0.1, 0.2], hold=0.05)
        heard = self.heard_after(letters, pressed, files)
        p.key("0")
        delays = [h - t for h, t in zip(heard, pressed)]
        print(f"\nat the press: press to sound {1000 * min(delays):.0f} to {1000 * max(delays):.0f} ms", flush=True)
        self.assertLess(max(delays), 0.05, f"a letter was heard late: {[round(d, 3) for d in delays]}")
        self.assertLess(max(delays) - min(delays), 0.04, f"the delays spread: {[round(d, 3) for d in delays]}")

    def test_4_a_letter_let_go_after_shift_went_down_still_ends_its_note(self):
        p = self.program
        fast = FastInput(p.display, p.main)
        letter, shift = fast.keycode("s"), fast.keycode("Shift_L")
        down = time.monotonic()
        fast.key(letter, True)
        time.sleep(0.4)
        fast.key(shift, True)
        time.sleep(0.05)
        up = time.monotonic()
        fast.key(letter, False)  # arrives as "S"
        time.sleep(0.05)
        fast.key(shift, False)
        fast.close()
        time.sleep(1.0)
        at_rest = p.settled_shot()
        samples, zero, spans = self.listen(down - 0.2, up + 1.0)
        self.assertEqual(len(spans), 1, f"heard {spans}")
        self.assertLess(spans[0][1], up + 0.5, "middle C went on sounding after its letter came up")
        self.assertLess(picture.changed_fraction(self.rest, at_rest, picture.KEYBOARD), 0.002,
                        "a key or the right hand stayed down")
        # And the right hand is free for the next note.
        down, up = p.hold("d", 0.3)
        time.sleep(0.6)
        p.wait_frames(2)
        samples, zero, spans = self.listen(down, up + 0.6)
        self.assertEqual(len(spans), 1, f"the next note after Shift: heard {spans}")

    def test_5_with_caps_lock_on_letters_and_chords_still_play(self):
        p = self.program
        p.key("Caps_Lock")
        try:
            for letter, midi in (("s", [60]), ("z", [48, 52, 55])):
                down, up = p.hold(letter, 0.5)
                time.sleep(0.6)
                p.wait_frames(2)
                samples, zero, spans = self.listen(down, up + 0.6)
                self.assertEqual(len(spans), 1, f"'{letter}' with Caps Lock on: heard {spans}")
                if len(midi) == 1:
                    note, _ = sound.strongest_note(samples, spans[0][0] - zero + 0.03, 0.3)
                    self.assertEqual(note, midi[0])
        finally:
            p.key("Caps_Lock")


class HeardTest(unittest.TestCase):
    """The matching that places each sample in the capture, on a capture made here."""

    def test_a_sample_starting_after_digital_silence_is_found_where_it_starts(self):
        # G4 dies away and stops, and A4 starts after a silence, as letters typed fast play at
        # 60 frames a second. The silence's rounding noise once outscored A4 itself, 34 ms early.
        a4 = sound.decode(SOURCE_DIR / "res/sounds/piano/A1.mp3")
        g4 = sound.decode(SOURCE_DIR / "res/sounds/piano/G1.mp3")
        fade = int(0.1 * sound.RATE)
        for level in (0.5, 0.75, 1.0):
            for gap in (0.03, 0.05, 0.077):
                capture = np.zeros(2 * sound.RATE)
                capture[:fade] = level * g4[:fade] * np.linspace(1, 0, fade)
                start = fade + int(gap * sound.RATE)
                capture[start:start + sound.RATE] = level * a4[:sound.RATE]
                capture = np.round(capture * 32767) / 32768  # as the 16-bit capture holds it
                at, alike = sound.heard_at(capture, 0.0, a4, start / sound.RATE, before=0.05, length=0.03)
                self.assertAlmostEqual(at, start / sound.RATE, delta=0.5 / sound.RATE,
                                       msg=f"level {level}, {gap} s of silence: A4 found {at - start / sound.RATE:+.4f} s off")
                self.assertLessEqual(alike, 1.0 + 1e-9, f"level {level}, {gap} s of silence: alike {alike}")


if __name__ == "__main__":
    unittest.main()
