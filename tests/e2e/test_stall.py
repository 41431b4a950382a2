"""Strokes across a stall: on a busy machine the program can be held off the processor for
longer than a stroke's down phase, so that a stroke's down and up phases fall between two
frames. Every stroke must still end with its keys at rest and its samples stopped.

The stall is made by stopping the process (SIGSTOP) for 0.4 s just after a key's tap, as a
loaded machine would, and letting it go on (SIGCONT)."""

import os
import signal
import time
import unittest

import picture
import sound
from support import Program

STALL = 0.4  # seconds: longer than a whole stroke (0.2 s down, 0.2 s up)


class StallTest(unittest.TestCase):
    def test_a_stall_during_a_stroke_still_ends_it_at_rest_and_silent(self):
        with Program() as p:
            rest = p.settled_shot()
            for letter in ("s", "z"):
                p.keydown(letter)
                released = p.keyup(letter)
                p.frames_from(released, 1)  # the program has taken the tap
                os.kill(p.process.pid, signal.SIGSTOP)
                time.sleep(STALL)
                os.kill(p.process.pid, signal.SIGCONT)
                time.sleep(1.0)
                p.wait_frames(3)
                shot = p.shot()
                self.assertLess(picture.changed_fraction(rest, shot, picture.KEYBOARD), 0.002,
                                f"after a tap of '{letter}' and a {STALL} s stall, a key or a hand "
                                f"stayed off its rest position")
                samples, zero = p.capture(), p.audio_zero()
                end = time.monotonic()
                self.assertEqual(sound.spans_between(samples, zero, end - 0.4, end - 0.05), [],
                                 f"after a tap of '{letter}' and a {STALL} s stall, its sample went on")
            self.assertEqual(p.quit(), 0)


if __name__ == "__main__":
    unittest.main()
