"""Bad window sizes: a main window shrunk to 1 x 1 or minimised never stops the program, and
it draws its full picture again once the window is back. (X keeps a window at least a pixel
high: a height of 0 reaches the program only as GLUT's reshape, which shell_test's
Reshape.AZeroHeightKeepsTheLastAspectRatio gives it.)"""

import time
import unittest

import picture
from support import Program


class WindowSizeTest(unittest.TestCase):
    def test_one_pixel_window_and_minimised_window_keep_the_program_running(self):
        with Program() as p:
            rest = p.settled_shot()
            p.display.run("xdotool", "windowsize", "--sync", p.main, 1, 1)
            p.key("s")
            p.key("z")
            p.drag(3, (0, 0), (0, 40), steps=4)
            time.sleep(1.0)
            self.assertTrue(p.alive(), f"the program ended at 1 x 1: {p.stderr()}")

            p.display.run("xdotool", "windowsize", "--sync", p.main, 1200, 1000)
            # Minimising without a window manager: the window is unmapped as an iconify
            # would, the program keeps stepping, and the window comes back.
            p.display.run("xdotool", "windowminimize", p.main, check=False)
            p.display.run("xdotool", "windowunmap", "--sync", p.main)
            time.sleep(1.0)
            self.assertTrue(p.alive(), f"the program ended while minimised: {p.stderr()}")
            p.display.run("xdotool", "windowmap", "--sync", p.main)
            p.focus()
            # Back at full size, the zoom undone: the rest picture again.
            p.drag(3, (600, 900), (600, 100))
            time.sleep(0.5)
            back = p.settled_shot()
            self.assertLess(picture.mean_difference(rest, back), 1.0,
                            "the picture at full size differs from the one before the resizes")
            self.assertEqual(p.quit(), 0)


if __name__ == "__main__":
    unittest.main()
