"""What the program shows when it starts: its two windows, the help text, and at rest the
background, the 15 white and 10 black keys and both hands; and what its command line does."""

import os
import subprocess
import tempfile
import unittest
from pathlib import Path

import picture
from support import PROGRAM, SOURCE_DIR, OneProgramTest, Program, VirtualDisplay


class StartupTest(OneProgramTest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.help = cls.program.shot(cls.program.help)

    def test_windows_have_their_titles_sizes_and_positions(self):
        p = self.program
        self.assertEqual(p.window_name(p.main), "Tinklewood")
        self.assertEqual(p.window_name(p.help), "Help")
        self.assertEqual(p.window_geometry(p.main), (50, 50, 1200, 1000))
        self.assertEqual(p.window_geometry(p.help), (1275, 50, 500, 700))

    def test_help_window_shows_the_help_text_line_by_line(self):
        text = (SOURCE_DIR / "res" / "help.txt").read_text().splitlines()
        # Only 32 lines fit; blank lines take their place but show nothing.
        shown = [line for line in text[:32] if line.strip()]
        lines, first, last = picture.text_lines(self.help)
        self.assertEqual(lines, len(shown), "the help window does not show one band of text per line")
        self.assertLess(first, 40, "the help text does not start at the top of the window")

    def test_rest_picture_shows_the_hall_background(self):
        hall = picture.background_picture("hall.jpg")
        self.assertLess(picture.mean_difference(self.rest, hall, picture.BACKGROUND_BELOW_CAPTION), 6)

    def test_rest_picture_shows_fifteen_white_and_ten_black_keys(self):
        for y in picture.KEY_ROWS:
            black, white = picture.keys_on_row(self.rest, y)
            self.assertEqual(len(black), 10, f"row {y}: black keys at {black}")
            self.assertEqual(len(white), 15, f"row {y}: white keys at {white}")
            # Left to right they alternate as on a piano: two and three black keys per octave.
            between = [sum(1 for s, _ in white if b0[0] < s < b1[0]) for b0, b1 in zip(black, black[1:])]
            self.assertEqual(between, [1, 2, 1, 1, 2, 1, 2, 1, 1], f"row {y}: white keys between black ones")

    def test_rest_picture_shows_both_hands_over_the_keys(self):
        # The hall has brown and gold of its own: count what the hands add to it.
        hall = picture.background_picture("hall.jpg")
        for region, name in ((picture.LEFT_HAND, "left"), (picture.RIGHT_HAND, "right")):
            added = picture.hand_pixels(self.rest, region) - picture.hand_pixels(hall, region)
            self.assertGreater(added, 30000, f"no {name} hand on the {name} half of the keyboard")


class EscapeTest(unittest.TestCase):
    def test_escape_right_after_start_ends_the_program_with_status_0(self):
        with Program() as program:
            self.assertEqual(program.quit(), 0)
            self.assertEqual(program.stderr(), "", "the program complained on the way out")


class CommandLineTest(unittest.TestCase):
    """The command line is read before any window or sound is opened: --help and --version
    need no display, and GLUT's own options still reach GLUT."""

    @staticmethod
    def run_without_display(*args):
        env = {name: value for name, value in os.environ.items() if name != "DISPLAY"}
        return subprocess.run([str(PROGRAM), *args], env=env, capture_output=True, text=True, timeout=30)

    def test_help_and_version_are_answered_on_stdout_without_a_display(self):
        shown = self.run_without_display("--help")
        self.assertEqual((shown.returncode, shown.stderr), (0, ""))
        self.assertTrue(shown.stdout.startswith("usage: tinklewood [--defaults] [-display DISPLAY]"), shown.stdout)
        self.assertIn("\n  --defaults  ", shown.stdout)
        version = self.run_without_display("--version")
        self.assertEqual((version.returncode, version.stderr), (0, ""))
        self.assertRegex(version.stdout, r"^tinklewood \d+\.\d+\.\d+\n$")

    def test_an_unknown_option_or_argument_is_refused_with_the_usage_and_status_2(self):
        for args in (["--loud"], ["song.song"], ["-display"]):
            run = self.run_without_display(*args)
            self.assertEqual((run.returncode, run.stdout), (2, ""), args)
            self.assertRegex(run.stderr,
                             r"^tinklewood: [^\n]+; usage: tinklewood \[--defaults\] \[-display DISPLAY\][^\n]*\n$")

    def test_the_display_named_with_glut_option_is_the_one_the_windows_open_on(self):
        display = VirtualDisplay()
        try:
            with tempfile.TemporaryDirectory(prefix="tinklewood-e2e-") as tmp:
                wrapper = Path(tmp) / "tinklewood-on-display"
                wrapper.write_text(f'#!/bin/sh\nexec "{PROGRAM}" -sync -display {display.name}\n')
                wrapper.chmod(0o755)
                # DISPLAY names no server: the windows can come only through -display.
                with Program(display=display, program=wrapper, env={"DISPLAY": ":9999"}) as program:
                    self.assertEqual(program.window_name(program.main), "Tinklewood")
                    self.assertEqual(program.quit(), 0)
                    self.assertEqual(program.stderr(), "")
        finally:
            display.close()


if __name__ == "__main__":
    unittest.main()
