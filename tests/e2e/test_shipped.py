"""Every shipped song played by the program to its end, each right-hand entry pressed on its
beat (counted in the frames the program logs it stepped), its sample started then and heard."""

import time
import unittest

import sound
from support import SOURCE_DIR, Program
from test_library import CHORD_LETTERS, STEPS_PER_BEAT, RIGHT_LETTERS, read_song


class ShippedSongsTest(unittest.TestCase):
    def test_every_shipped_song_plays_to_its_end_each_entry_heard_on_its_beat(self):
        songs = sorted((SOURCE_DIR / "res" / "songs").glob("*.song"))
        songs = [s for s in songs if s.name == "twinkle.song"] + [s for s in songs if s.name != "twinkle.song"]
        self.assertGreaterEqual(len(songs), 10)
        with Program() as p:
            for index, song in enumerate(songs):
                mode, right, left = read_song(song)
                if index > 0:
                    p.key("6")
                started = p.keydown("5")
                p.keyup("5")
                length = sum(d for d, _ in right)
                p.frames_from(started, length * STEPS_PER_BEAT + 12, timeout=length + 60)
                time.sleep(0.4)
                presses = [t for _, t, letter in p.events("song-press") if t >= started and letter in RIGHT_LETTERS]
                self.assertEqual(len(presses), len(right), f"{song.name}: entries pressed")
                frames = p.logged_frames(started)
                for i in range(1, len(presses)):
                    stepped = len([f for f in frames if presses[i - 1] < f <= presses[i]])
                    self.assertEqual(stepped, right[i - 1][0] * STEPS_PER_BEAT,
                                     f"{song.name}: entry {i} pressed {stepped} frames after the one before")
                ends = presses[1:] + [presses[-1] + 10]
                plays = [(t, path) for _, t, path in p.events("play") if t >= started]
                samples = p.capture()
                for i, (press, until) in enumerate(zip(presses, ends)):
                    index_letter = right[i][1]
                    key = index_letter + 7 if index_letter <= 7 else index_letter + 12
                    names = ["C0", "D0", "E0", "F0", "G0", "A0", "B0", "C1", "D1", "E1", "F1", "G1", "A1", "B1",
                             "C2"] + [f"Black{b}" for b in range(10)]
                    wanted = f"../res/sounds/piano/{names[key]}.mp3"
                    started_here = [t for t, path in plays if press <= t < until and path == wanted]
                    self.assertEqual(len(started_here), 1, f"{song.name}: entry {i} ({wanted}) did not sound")
                    at, alike, (earliest, latest) = sound.heard_near(
                        p, samples, sound.decode(SOURCE_DIR / "res/sounds/piano" / f"{names[key]}.mp3"), started_here[0])
                    self.assertGreater(alike, 0.5, f"{song.name}: entry {i} was not heard")
                    self.assertTrue(earliest <= at <= latest,
                                    f"{song.name}: entry {i} heard {at - started_here[0]:+.3f} s off its start")
                chords = [t for _, t, letter in p.events("song-press") if t >= started and letter in CHORD_LETTERS]
                self.assertEqual(len(chords), len(left), f"{song.name}: chords pressed")


if __name__ == "__main__":
    unittest.main()
