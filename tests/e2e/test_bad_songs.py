"""Malformed songs loaded with "5" while a good song plays: each is refused with one line on
the program's output naming the file and its problem, and the song that is playing goes on to
its end; a device or a pipe in place of a song or the help text is refused and the program
goes on.

A few files of the malformed-song corpus (tests/songs) stand for all of it here: every one is
refused the same way, the song playing on untouched, in the song player's unit tests
(song_test, MalformedSongs), and by tinklewood-render (render_test)."""

import math
import os
import tempfile
import time
import unittest
from pathlib import Path

import sound
from support import SOURCE_DIR, Program, make_layout, song_text

SONG_PATH = "../res/songs/twinkle.song"
NOTE_BAND = 250.0
# A count that is not a number, a word where an index should be, and a NUL byte in a count,
# which the line must show as a printable character.
CORPUS = ("negative_count.song", "two_mode_words.song", "fuzz_f21d86d1.song")


class MalformedSongTest(unittest.TestCase):
    def test_each_malformed_song_is_refused_with_its_line_while_the_song_plays_on(self):
        corpus = [SOURCE_DIR / "tests" / "songs" / name for name in CORPUS]
        with tempfile.TemporaryDirectory() as root:
            workdir = make_layout(root)
            twinkle = workdir.parent / "res" / "songs" / "twinkle.song"
            with Program(workdir) as p:
                # Long enough to outlast every refusal (a tap and its frames each) with frames
                # at a twentieth of a second, and to keep playing if they come at a sixtieth.
                interval, slow = 1 / 60, 1 / 20
                refusals_take = len(corpus) * (0.3 + 4 * slow)
                entries = math.ceil(refusals_take / (2 * 10 * interval)) + 2
                good = song_text([(2, i % 8) for i in range(entries)])
                twinkle.write_text(good)
                pressed = p.keydown("5")
                p.keyup("5")
                p.frames_from(pressed, 5)
                for bad in corpus:
                    twinkle.write_text(bad.read_text())
                    before = p.stderr().splitlines()
                    p.key("5")
                    p.wait_frames(2)
                    new = p.stderr().splitlines()[len(before):]
                    self.assertEqual(len(new), 1, f"{bad.name}: expected one line, got {new}")
                    prefix = f"Error: Malformed song file {SONG_PATH}: "
                    self.assertTrue(new[0].startswith(prefix) and len(new[0]) > len(prefix) + 5,
                                    f"{bad.name}: {new[0]!r}")
                    self.assertTrue(new[0].isprintable(), f"{bad.name}: {new[0]!r}")
                    self.assertTrue(p.alive())
                last_refusal = time.monotonic()
                self.assertEqual(p.stdout(), "", "errors belong on standard error")
                # The good song plays to its end: two beats of ten frames an entry.
                p.frames_from(pressed, entries * 20 + 12, timeout=300)
                time.sleep(0.5)
                samples, zero = p.capture(), p.audio_zero()
                first = int((pressed - zero) * sound.RATE)
                heard = [pressed + t for t in sound.onsets(sound.level(sound.band(samples[first:], NOTE_BAND)))]
                self.assertEqual(len(heard), entries, "the playing song was cut short or restarted by a refusal")
                self.assertGreater(heard[-1], last_refusal, "the song ended before the refusals")

    def test_a_device_or_pipe_in_place_of_a_song_or_the_help_is_refused_and_the_program_goes_on(self):
        with tempfile.TemporaryDirectory() as root:
            workdir = make_layout(root)
            res = workdir.parent / "res"
            song, help_text = res / "songs" / "twinkle.song", res / "help.txt"
            fifo = Path(root) / "fifo"
            os.mkfifo(fifo)
            with Program(workdir) as p:
                for target in ("/dev/zero", "/dev/urandom", fifo):
                    song.unlink()
                    song.symlink_to(target)
                    before = p.stderr().splitlines()
                    p.key("5")
                    # Frames go on being drawn, and one line says why nothing plays.
                    p.wait_frames(10, timeout=5)
                    new = p.stderr().splitlines()[len(before):]
                    self.assertEqual(new, [f"Error: Malformed song file {SONG_PATH}: it is not a readable file "
                                           f"of at most 1048576 bytes"], f"{target}: {new}")
                # A pipe in place of the help text: the help window repaints when resized.
                help_text.unlink()
                help_text.symlink_to(fifo)
                before = p.stdout().splitlines()
                p.display.run("xdotool", "windowsize", p.help, 500, 690)
                deadline = time.monotonic() + 5
                while len(p.stdout().splitlines()) == len(before) and time.monotonic() < deadline:
                    time.sleep(0.05)
                self.assertIn("Error: Failed to open file ../res/help.txt.", p.stdout().splitlines()[len(before):])
                p.wait_frames(10, timeout=5)
                # Reading /dev/zero to its end would take gigabytes; the program with every
                # sample and picture loaded takes well under half of one.
                self.assertLess(p.rss_kib(), 400_000, "memory grew while refusing the files")
                self.assertEqual(p.quit(), 0, "Escape did not end the program")


if __name__ == "__main__":
    unittest.main()
