"""Missing pieces: a resource folder without a picture, a sample, the help text and the song,
no resources at all, and no sound device. The program starts, keeps running, plays what it can
and names each missing thing once (the help text at every repaint of its window), a whole kind
of missing files on one line."""

import shutil
import tempfile
import time
import unittest
from pathlib import Path

import picture
import sound
from support import PROGRAM, Program, make_layout

MISSING = ("backgrounds/space.jpg", "sounds/piano/C1.mp3", "help.txt", "songs/twinkle.song")


class MissingFilesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.TemporaryDirectory()
        cls.program = Program(make_layout(cls.root.name, drop=MISSING))

    @classmethod
    def tearDownClass(cls):
        cls.program.close()
        cls.root.cleanup()

    def test_1_missing_sample_is_named_once_and_silent_while_others_play(self):
        p = self.program
        p.hold("s", 0.5)   # middle C: its file is gone
        time.sleep(0.6)
        p.hold("s", 0.5)
        time.sleep(0.6)
        down, up = p.hold("d", 0.5)
        time.sleep(0.8)
        p.wait_frames(2)
        self.assertTrue(p.alive())
        # The samples decoded ahead are reported together once all are through, which on a
        # busy machine can be after the key was played.
        deadline = time.monotonic() + 30
        while "C1.mp3" not in p.stderr() and time.monotonic() < deadline:
            time.sleep(0.1)
        lines = [line for line in p.stderr().splitlines() if "C1.mp3" in line]
        self.assertEqual(len(lines), 1, f"the missing sample should be named once: {p.stderr()!r}")
        samples, zero = p.capture(), p.audio_zero()
        heard = sound.spans_between(samples, zero, p.started_at, down - 0.1)
        self.assertEqual(heard, [], "the missing middle C made a sound")
        spans = sound.spans_between(samples, zero, down, up + 0.8)
        self.assertEqual(len(spans), 1, "D4, whose file is there, did not sound")

    def test_2_missing_song_is_named_and_the_program_goes_on(self):
        p = self.program
        before = p.settled_shot()
        p.key("5")
        p.wait_frames(3)
        self.assertTrue(p.alive())
        lines = [line for line in p.stderr().splitlines() if "song" in line]
        self.assertEqual(lines, ["Error: Failed to open song file ../res/songs/twinkle.song"])
        # Said on screen too, for a user who started the program from a menu.
        shot = p.settled_shot()
        band = (slice(0, 60), slice(0, 600))
        self.assertGreater(picture.changed_fraction(before, shot, band), 0.02, "no caption says why")

    def test_3_missing_help_text_is_named_at_each_repaint_and_nothing_else_is(self):
        p = self.program
        p.display.run("xdotool", "windowunmap", "--sync", p.help)
        p.display.run("xdotool", "windowmap", "--sync", p.help)
        p.wait_frames(3)
        lines = p.stdout().splitlines()
        help_lines = [line for line in lines if line == "Error: Failed to open file ../res/help.txt."]
        others = [line for line in lines if line not in help_lines and "song" not in line]
        self.assertGreaterEqual(len(help_lines), 2, "the missing help text was not reported at each repaint")
        self.assertEqual(others, [], "unexpected output")
        help_shot = p.shot(p.help)
        lines_drawn, _, _ = picture.text_lines(help_shot)
        self.assertEqual(lines_drawn, 0, "the help window shows something without its text")

    def test_4_missing_background_leaves_that_background_plain_and_the_others_shown(self):
        p = self.program
        p.key("space")  # the space background, whose file is gone
        plain = p.settled_shot()
        part = plain[picture.BACKGROUND_BELOW_CAPTION].reshape(-1, 3)
        self.assertLess(float(part.std(axis=0).max()), 3.0, "a missing picture should leave a plain background")
        p.key("space")
        church = p.settled_shot()
        self.assertLess(picture.mean_difference(church, picture.background_picture("church.png"),
                                                picture.BACKGROUND_BELOW_CAPTION), 6)
        # The missing picture was named once, at start-up, among the pictures that could not be
        # loaded; showing it again says nothing more.
        self.assertLessEqual(sum("space.jpg" in line for line in (p.stdout() + p.stderr()).splitlines()), 1)
        self.assertTrue(p.alive())


class NoResourcesTest(unittest.TestCase):
    def test_with_no_resources_anywhere_one_line_names_the_places_and_one_line_each_kind(self):
        with tempfile.TemporaryDirectory() as root:
            # The binary alone: no ../res beside it, no build tree, no install.
            bin_dir = Path(root) / "bin"
            bin_dir.mkdir()
            shutil.copy2(PROGRAM, bin_dir / "tinklewood")
            with Program(bin_dir) as p:
                deadline = time.monotonic() + 30
                while "samples" not in p.stderr() and time.monotonic() < deadline:
                    time.sleep(0.1)
                self.assertTrue(p.alive())
                lines = p.stderr().splitlines()
                self.assertEqual(len(lines), 3, f"expected three lines: {lines}")
                places = [line for line in lines if "no resources" in line]
                self.assertEqual(len(places), 1, lines)
                for place in ("../res", f"{root}/res", f"{root}/share/tinklewood/res"):
                    self.assertIn(place, places[0])
                self.assertEqual(sum("8 pictures" in line for line in lines), 1, lines)
                self.assertEqual(sum("125 samples" in line and "piano/C0.mp3" in line for line in lines), 1, lines)


class NoSoundDeviceTest(unittest.TestCase):
    def test_without_a_sound_device_the_program_says_so_once_and_plays_on(self):
        with Program(sound="none") as p:
            rest = p.settled_shot()
            p.hold("s", 0.4)
            p.hold("z", 0.4)
            time.sleep(1.0)
            p.wait_frames(3)
            self.assertTrue(p.alive())
            after = p.settled_shot()
            self.assertLess(picture.mean_difference(rest, after), 1.0, "the keys or hands did not come back")
            lines = [line for line in p.stderr().splitlines() if not line.startswith("ALSA lib")]
            self.assertEqual(len(lines), 1, f"expected one line about the missing device: {p.stderr()!r}")
            self.assertIn("without sound", lines[0])
            self.assertEqual(p.quit(), 0)


if __name__ == "__main__":
    unittest.main()
