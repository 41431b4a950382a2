"""The program as a desktop program: a key released in another window, or held while the
window is minimised, lets go of its note; a window manager gone without tidying up, or its help
window destroyed by another client, neither stops it starting nor spoils its exit; the help
window's close box closes it alone (F1 shows it again), and the main window's quits as Escape
does, saving a take being recorded; the program
finds its resources from any working directory, installed or in its build tree; it installs with
a desktop entry; it mixes with its own short period unless the user names a config of its own;
it keeps the user's settings between runs, goes full screen with F11 with its text at the
screen's scale, and reads the playing letters by their place under any keyboard layout. (Its
Debian package is checked outside this suite, in tests/package_test.py: making it runs no
program.)"""

import contextlib
import ctypes
import ctypes.util
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

import numpy as np

import picture
import sound
from support import (BUILD_DIR, PROGRAM, SOURCE_DIR, Program, VirtualDisplay, make_layout, press_close_box,
                     read_song, saved_recordings, song_text)

# Released is silent and at rest within this long (seconds).
RELEASED_WITHIN = 0.5
CHORD_NOTES = (48, 52, 55)                 # "z": C major, C3 E3 G3
BLACK_NOTES = (61, 63, 66, 68, 70)         # the song's right hand plays only these
SONG = [(4, 8), (4, 9), (4, 10), (4, 11), (4, 12)]  # four beats on each black key, e to i
# The left hand's half of the window short of the middle, where the right hand reaches for C#4.
LEFT_HAND_CLEAR_OF_SONG = (slice(480, 940), slice(40, 470))


def release_in_help_window(p, key):
    """Moves the focus to the help window and releases key there; returns the time just
    before the release was sent."""
    p.display.run("xdotool", "windowfocus", "--sync", p.help)
    sent = time.monotonic()
    p.display.run("xdotool", "keyup", key)
    return sent


def shot_after(p, t):
    """The main window as drawn by the first frame at or after time t."""
    p.frames_from(t, 1)
    return p.shot()


class ReleasedElsewhereTest(unittest.TestCase):
    def test_a_note_released_in_the_help_window_stops_and_the_hand_comes_back(self):
        with Program() as p:
            # The hand stays over the last key it played: B4 released as usual is the picture
            # to come back to.
            p.hold("k", 0.4)
            time.sleep(0.5)
            rest = p.settled_shot()
            down = p.keydown("k")
            time.sleep(0.5)
            up = release_in_help_window(p, "k")
            after = shot_after(p, up + RELEASED_WITHIN)
            time.sleep(0.5)
            samples, zero = p.capture(), p.audio_zero()
            spans = sound.spans_between(samples, zero, down - 0.3, up + 1.0)
            self.assertEqual(len(spans), 1, f"B4 should sound once: {spans}")
            self.assertLess(spans[0][1], up + RELEASED_WITHIN,
                            f"B4 went on {spans[0][1] - up:.3f} s after its release in the help window")
            self.assertLess(picture.mean_difference(rest, after), 1.0,
                            "the right hand and its key were not back at rest")

    def test_a_chord_released_in_the_help_window_stops_while_the_song_plays_on(self):
        with tempfile.TemporaryDirectory() as root:
            workdir = make_layout(root, songs={"twinkle.song": song_text(SONG)})
            with Program(workdir) as p:
                rest = p.settled_shot()
                started = p.keydown("5")
                p.keyup("5")
                time.sleep(0.6)
                down = p.keydown("z")
                time.sleep(0.5)
                up = release_in_help_window(p, "z")
                after = shot_after(p, up + RELEASED_WITHIN)
                # Four beats of ten frames each entry, and a little more.
                p.frames_from(started, len(SONG) * 40 + 15, timeout=120)
                time.sleep(0.3)
                end = time.monotonic()
                samples, zero = p.capture(), p.audio_zero()

                first, last = int((started - zero) * sound.RATE), int((end - zero) * sound.RATE)
                chord = sound.level(sound.comb(samples[first:last], CHORD_NOTES))
                def chord_level(t0, t1):
                    # The median: the song's notes leak into the chord's bands at each attack,
                    # while a chord still sounding fills the whole stretch.
                    return float(np.median(chord[int((t0 - started) / sound.HOP):int((t1 - started) / sound.HOP)]))
                held = chord_level(down + 0.25, up)
                song_alone = chord_level(started + 0.3, down)
                after_release = chord_level(up + RELEASED_WITHIN, up + RELEASED_WITHIN + 1.0)
                self.assertGreater(held, 4 * song_alone, "the chord did not sound while held")
                self.assertLess(after_release, 0.1 * held,
                                f"the chord went on after its release in the help window ({after_release:.4f} "
                                f"of {held:.4f})")
                self.assertLess(picture.mean_difference(rest, after, LEFT_HAND_CLEAR_OF_SONG), 1.0,
                                "the left hand was not back at rest")

                # Each of the song's notes sounds until the song lets go of it, most of its four
                # beats: a letter of the song's taken for a key let go elsewhere would be a tap.
                # Each note is judged in its own band between the song's logged press and
                # release, so the chord's partials cannot split one note into two.
                presses = [t for _, t, letter in p.events("song-press") if t >= started and letter not in "zxcvb"]
                releases = [t for _, t, letter in p.events("song-release") if t >= started and letter not in "zxcvb"]
                self.assertEqual((len(presses), len(releases)), (len(SONG), len(SONG)),
                                 f"the song pressed at {presses} and let go at {releases}")
                lengths = []
                for midi, pressed, released in zip(BLACK_NOTES, presses, releases):
                    own = sound.level(sound.comb(samples[first:last], (midi,)))
                    window = own[int((pressed - started) / sound.HOP):int((released + 0.1 - started) / sound.HOP)]
                    spans = sound.sounding_spans(window, 0.1 * float(window.max()), min_gap=0.06)
                    lengths.append(round(max((e - s for s, e in spans), default=0.0), 2))
                self.assertGreater(min(lengths), 0.3, f"the song's notes were cut short: {lengths} s")


@contextlib.contextmanager
def window_manager(test, p):
    """openbox on the program's display, once it has marked the root window as running and taken
    in the windows already there, the main window active; ended on the way out."""
    manager = subprocess.Popen(["openbox"], env=p.display.env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 20
        while "window id" not in p.display.run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK",
                                               check=False).stdout:
            test.assertLess(time.monotonic(), deadline, "the window manager did not start")
            time.sleep(0.1)
        time.sleep(0.5)  # it takes in the windows that are already there
        p.display.run("xdotool", "windowactivate", "--sync", p.main)
        yield manager
    finally:
        manager.terminate()
        manager.wait()


class MinimisedTest(unittest.TestCase):
    def test_a_chord_held_while_the_window_is_minimised_is_released(self):
        # xdotool's minimise asks a window manager; the virtual display has none of its own.
        with Program() as p:
            with window_manager(self, p):
                rest = p.settled_shot()

                down = p.keydown("z")
                time.sleep(0.5)
                hidden = time.monotonic()
                p.display.run("xdotool", "windowminimize", "--sync", p.main)
                time.sleep(RELEASED_WITHIN + 0.3)
                p.display.run("xdotool", "windowactivate", "--sync", p.main)
                back = p.settled_shot()
                # Only now does "z" come up, in the window it was pressed in.
                p.keyup("z")

                samples, zero = p.capture(), p.audio_zero()
                spans = sound.spans_between(samples, zero, down - 0.3, hidden + RELEASED_WITHIN + 0.3)
                self.assertEqual(len(spans), 1, f"the chord should sound once: {spans}")
                self.assertLess(spans[0][1], hidden + RELEASED_WITHIN,
                                f"the chord went on {spans[0][1] - hidden:.3f} s after the window was minimised")
                self.assertLess(picture.mean_difference(rest, back), 1.0,
                                "the left hand was still down when the window came back")
                self.assertTrue(p.alive())


def assert_full_start(test, p):
    """The hall background is shown and "s" plays middle C: the resources were found."""
    shot = p.settled_shot()
    test.assertLess(picture.mean_difference(shot, picture.background_picture("hall.jpg"), picture.BACKGROUND_BELOW_CAPTION), 6,
                    "the background picture is not shown")
    down, up = p.hold("s", 0.5)
    time.sleep(0.6)
    samples, zero = p.capture(), p.audio_zero()
    spans = sound.spans_between(samples, zero, down - 0.3, up + 0.6)
    test.assertEqual(len(spans), 1, f"middle C should sound once: {spans}")
    start, end = spans[0]
    note, _ = sound.strongest_note(samples, start - zero + 0.03, min(0.3, end - start - 0.05))
    test.assertEqual(note, 60, f"middle C sounded as MIDI {note}")
    test.assertNotIn("no resources", p.stderr())


class Xlib:
    """libX11 through ctypes, on its own connection to a display: what another client does."""

    def __init__(self, display):
        c = ctypes
        self.x11 = x11 = c.CDLL(c.util.find_library("X11") or "libX11.so.6")
        x11.XOpenDisplay.restype, x11.XOpenDisplay.argtypes = c.c_void_p, [c.c_char_p]
        x11.XDefaultRootWindow.restype, x11.XDefaultRootWindow.argtypes = c.c_ulong, [c.c_void_p]
        x11.XCreateSimpleWindow.restype = c.c_ulong
        x11.XCreateSimpleWindow.argtypes = [c.c_void_p, c.c_ulong, c.c_int, c.c_int, c.c_uint, c.c_uint,
                                            c.c_uint, c.c_ulong, c.c_ulong]
        x11.XInternAtom.restype, x11.XInternAtom.argtypes = c.c_ulong, [c.c_void_p, c.c_char_p, c.c_int]
        x11.XChangeProperty.argtypes = [c.c_void_p, c.c_ulong, c.c_ulong, c.c_ulong, c.c_int, c.c_int,
                                        c.c_void_p, c.c_int]
        x11.XDestroyWindow.argtypes = [c.c_void_p, c.c_ulong]
        x11.XCloseDisplay.argtypes = [c.c_void_p]
        self.handle = x11.XOpenDisplay(display.name.encode())
        if not self.handle:
            raise RuntimeError(f"cannot open {display.name}")

    def set_window_property(self, window, name, value):
        xa_window = 33
        data = (ctypes.c_ulong * 1)(value)  # format 32 is a C long a value
        self.x11.XChangeProperty(self.handle, window, self.x11.XInternAtom(self.handle, name.encode(), 0),
                                 xa_window, 32, 0, data, 1)  # PropModeReplace

    def close(self):
        """Disconnects, which waits until the server has done everything asked."""
        self.x11.XCloseDisplay(self.handle)


def leave_window_manager_mark(display):
    """What a window manager that was killed leaves behind: the root window's
    _NET_SUPPORTING_WM_CHECK naming its check window, which went with it. (xprop can only set
    the property as a CARDINAL, which freeglut passes over.)"""
    x = Xlib(display)
    root = x.x11.XDefaultRootWindow(x.handle)
    check = x.x11.XCreateSimpleWindow(x.handle, root, 0, 0, 1, 1, 0, 0, 0)
    for window in (root, check):
        x.set_window_property(window, "_NET_SUPPORTING_WM_CHECK", check)
    x.close()  # the check window is destroyed with the connection; the root keeps the mark
    return check


class GoneWindowsTest(unittest.TestCase):
    def test_a_window_manager_gone_without_tidying_up_leaves_the_program_to_start_and_quit(self):
        display = VirtualDisplay()
        try:
            check = leave_window_manager_mark(display)
            mark = display.run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK").stdout
            self.assertIn(f"window id # {check:#x}", mark)
            self.assertNotEqual(display.run("xwininfo", "-id", check, check=False).returncode, 0,
                                "the check window is still there")
            with Program(display=display) as p:
                assert_full_start(self, p)
                self.assertEqual(p.quit(), 0)
                self.assertEqual(p.stderr(), "", "the program complained")
        finally:
            display.close()

    def test_f1_and_escape_while_recording_after_another_client_destroyed_the_help_window(self):
        with Program() as p:
            x = Xlib(p.display)
            x.x11.XDestroyWindow(x.handle, p.help)
            x.close()
            self.assertEqual(p.display.run("xdotool", "search", "--name", "^Help$", check=False).stdout, "")
            p.key("7")
            for letter in "sdf":
                p.hold(letter, 0.3)
            self.assertTrue(p.alive(), f"the program ended without its help window: {p.stderr()}")
            # The window freeglut still counts as its own is forgotten: F1 makes a new one.
            p.key("F1")
            assert_help_shown(self, p)
            # Escape while recording: the take is saved first, and one line says where.
            self.assertEqual(p.quit(), 0, f"the program's exit failed: {p.stderr()}")
            self.assertEqual(p.stderr(), "", "the program complained on the way out")
            assert_take_saved(self, p, 3)


def assert_help_shown(test, p, timeout=10):
    """A help window is shown (within timeout seconds) with its text on it."""
    deadline = time.monotonic() + timeout
    while not p.visible_windows("Help"):
        test.assertLess(time.monotonic(), deadline, "F1 showed no help window")
        time.sleep(0.1)
    time.sleep(0.5)  # drawn on its first exposure
    lines, _, _ = picture.text_lines(p.shot(p.visible_windows("Help")[0]))
    test.assertGreater(lines, 20, "the help window shows no help text")


def assert_take_saved(test, p, letters):
    """The run's take was saved, with one line on stdout naming it, holding `letters` notes."""
    saved = saved_recordings(p)
    test.assertEqual(len(saved), 1, f"recordings saved: {saved}; stdout: {p.stdout()!r}")
    test.assertEqual(p.stdout(), f"Saved the recording to {saved[0]}\n")
    song = read_song(saved[0])
    test.assertEqual(len(song["right"]), letters, f"the take holds {song}")
    test.assertTrue(saved[0].with_suffix(".mid").is_file(), "no MIDI file beside the take")


class CloseBoxTest(unittest.TestCase):
    def test_the_help_windows_close_box_closes_it_alone_and_the_main_windows_saves_the_take_and_quits(self):
        with Program() as p:
            press_close_box(p.display, p.help)
            deadline = time.monotonic() + 10
            while p.visible_windows("Help"):
                self.assertLess(time.monotonic(), deadline, "the help window's close box did not close it")
                time.sleep(0.1)
            time.sleep(0.5)
            self.assertTrue(p.alive(), f"the help window's close box ended the program: {p.stderr()}")
            down, _ = p.hold("s", 0.3)
            deadline = time.monotonic() + 10
            while not [t for _, t, path in p.events("play") if t > down and path.endswith("C1.mp3")]:
                self.assertLess(time.monotonic(), deadline, "the piano does not play on after the help window closed")
                time.sleep(0.05)
            p.key("F1")
            assert_help_shown(self, p)

            p.key("7")
            for letter in "gh":
                p.hold(letter, 0.3)
            press_close_box(p.display, p.main)
            self.assertEqual(p.wait_exit(), 0, f"the main window's close box: {p.stderr()}")
            self.assertEqual(p.stderr(), "", "the program complained on the way out")
            assert_take_saved(self, p, 2)


class FromAnyFolderTest(unittest.TestCase):
    def test_the_build_binary_started_from_the_repository_root_finds_its_resources(self):
        with Program(SOURCE_DIR, program=PROGRAM) as p:
            assert_full_start(self, p)

    def test_the_installed_program_started_from_the_root_folder_finds_its_resources(self):
        with tempfile.TemporaryDirectory() as prefix:
            subprocess.run(["cmake", "--install", str(BUILD_DIR), "--prefix", prefix],
                           check=True, capture_output=True)
            prefix = Path(prefix)
            entry = prefix / "share" / "applications" / "tinklewood.desktop"
            checked = subprocess.run(["desktop-file-validate", str(entry)], capture_output=True, text=True)
            self.assertEqual((checked.returncode, checked.stdout + checked.stderr), (0, ""))
            icon = prefix / "share" / "icons" / "hicolor" / "256x256" / "apps" / "tinklewood.png"
            self.assertIn("256 x 256", subprocess.run(["file", str(icon)], capture_output=True, text=True).stdout)
            self.assertTrue((prefix / "share" / "doc" / "tinklewood" / "README.md").is_file())
            with Program("/", program=prefix / "bin" / "tinklewood") as p:
                assert_full_start(self, p)


class MixingPeriodTest(unittest.TestCase):
    """OpenAL Soft's log (ALSOFT_LOGLEVEL=3) tells the period the device was given."""

    def period_with(self, home, env=None):
        with Program(sound="own", env=dict({"HOME": str(home), "ALSOFT_LOGLEVEL": "3"}, **(env or {}))) as p:
            p.wait_frames(3)
            lines = [line for line in p.stderr().splitlines() if "Post-reset" in line]
            self.assertEqual(len(lines), 1, p.stderr()[-2000:])
            return lines[0].split("hz, ")[1]

    def test_the_program_sets_a_short_period_and_a_config_the_user_names_wins(self):
        with tempfile.TemporaryDirectory() as home:
            home = Path(home)
            # The user's own settings choose the driver; the program's file only the period.
            (home / ".alsoftrc").write_text("[general]\ndrivers = null\nperiod_size = 2048\n")
            self.assertEqual(self.period_with(home), "256 update size x4")
            (home / "mine.conf").write_text("[general]\nperiod_size = 512\nperiods = 2\n")
            self.assertEqual(self.period_with(home, {"ALSOFT_CONF": str(home / "mine.conf")}), "512 update size x2")


# Below the caption's band: the scene alone, whatever caption is up.
BELOW_CAPTION = (slice(60, 1000), slice(0, 1200))


def first_sample(p, after):
    """The sample of the first "play" the program logged after a time."""
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        plays = [path for _, t, path in p.events("play") if t >= after]
        if plays:
            return plays[0]
        time.sleep(0.05)
    raise AssertionError("no sample was played")


class KeptSettingsTest(unittest.TestCase):
    def test_the_next_start_takes_up_what_the_keys_chose_and_defaults_leaves_the_file_alone(self):
        with tempfile.TemporaryDirectory() as config:
            env = {"XDG_CONFIG_HOME": config}
            settings = Path(config) / "tinklewood" / "settings"
            with Program(env=env) as p:
                first = p.settled_shot()
                p.key("space")
                p.key("space")
                p.key("8")
                chosen = p.settled_shot()
                self.assertEqual(p.quit(), 0)
            written = settings.read_text()
            self.assertIn("instrument organ\n", written)
            self.assertIn("letters on\n", written)

            with Program(env=env) as p:
                self.assertLess(picture.mean_difference(p.settled_shot(), chosen, BELOW_CAPTION), 1.0,
                                "the church and the letters on the keys are not back")
                pressed = p.keydown("s")
                p.keyup("s")
                self.assertIn("/organ/", first_sample(p, pressed - 0.1))
                self.assertEqual(p.stderr(), "")

            with Program(env=env, args=["--defaults"]) as p:
                self.assertLess(picture.mean_difference(p.settled_shot(), first, BELOW_CAPTION), 1.0,
                                "--defaults did not start with the hall and no letters")
                pressed = p.keydown("s")
                p.keyup("s")
                self.assertIn("/piano/", first_sample(p, pressed - 0.1))
                p.key("space")
                p.key("8")
                self.assertEqual(p.quit(), 0)
            self.assertEqual(settings.read_text(), written, "--defaults changed the settings file")

    def test_a_garbage_settings_file_gives_one_line_and_the_first_settings(self):
        with tempfile.TemporaryDirectory() as config:
            settings = Path(config) / "tinklewood" / "settings"
            settings.parent.mkdir()
            settings.write_bytes(bytes(range(256)) * 4)
            with Program(env={"XDG_CONFIG_HOME": config}) as p:
                assert_full_start(self, p)
                lines = p.stderr().splitlines()
                self.assertEqual(len(lines), 1, p.stderr())
                self.assertIn(f"settings file {settings} not used", lines[0])


def shot_after_key(p, key, timeout=30):
    """Taps key and returns the picture of the first frame drawn after it: at 4K on llvmpipe a
    frame takes long enough for the quiet spell that settled_shot waits for."""
    pressed = p.keydown(key)
    p.keyup(key)
    deadline = time.monotonic() + timeout
    while not p.frames.between(pressed, time.monotonic() + 1):
        if time.monotonic() > deadline:
            raise AssertionError(f"no frame was drawn after {key}")
        time.sleep(0.05)
    return p.shot()


def caption_rows(before, after):
    """The rows of the top left corner where a caption put its band: the picture changed there."""
    height, width = before.shape[0] // 4, before.shape[1] // 3
    changed = np.abs(after[:height, :width].astype(np.int32) - before[:height, :width].astype(np.int32)).max(axis=(1, 2))
    return int((changed > 40).sum())


class FullScreenTest(unittest.TestCase):
    def full_screen(self, p, size):
        """F11, until the main window has the size given; its picture once drawn at that size
        (the same in two shots a second apart: a window just resized may show what stood there
        before until its next frame)."""
        p.key("F11")
        deadline = time.monotonic() + 30
        while p.window_geometry(p.main)[2:] != size:
            self.assertLess(time.monotonic(), deadline, f"the window is {p.window_geometry(p.main)}, not {size}")
            time.sleep(0.1)
        shot = p.settled_shot()
        while True:
            time.sleep(1.0)
            again = p.settled_shot()
            if np.array_equal(shot, again):
                return shot
            self.assertLess(time.monotonic(), deadline, "the picture did not settle at the new size")
            shot = again

    def test_f11_fills_the_screen_and_goes_back_and_a_4k_caption_is_twice_as_tall(self):
        display = VirtualDisplay(3840, 2160)
        try:
            with Program(display=display) as p:
                before = p.settled_shot()
                small = caption_rows(before, shot_after_key(p, "plus"))
                time.sleep(3.2)  # the caption ends

                before = self.full_screen(p, (3840, 2160))
                self.assertEqual(p.window_geometry(p.main), (0, 0, 3840, 2160))
                self.assertEqual(before.shape, (2160, 3840, 3))
                # The scene fills the screen: the hall's picture stretched over all of it, seen
                # above the keyboard as at first.
                self.assertLess(picture.mean_difference(before[130:800], picture.background_picture(
                    "hall.jpg", 3840, 2160)[130:800]), 6)
                large = caption_rows(before, shot_after_key(p, "minus"))
                self.assertGreaterEqual(large, 2 * small, f"the caption took {large} rows at 4K, {small} at first")

                time.sleep(3.2)
                self.full_screen(p, (1200, 1000))
                self.assertEqual(p.window_geometry(p.main), (50, 50, 1200, 1000))
                self.assertTrue(p.alive())
        finally:
            display.close()


    def test_a_window_grown_from_outside_is_drawn_at_its_new_size_with_nothing_moving(self):
        with Program() as p:
            p.settled_shot()
            time.sleep(3.2)  # the caption ends: then nothing moves
            p.display.run("xdotool", "windowsize", p.main, "1300", "1100")
            deadline = time.monotonic() + 30
            while p.window_geometry(p.main)[2:] != (1300, 1100):
                self.assertLess(time.monotonic(), deadline, f"the window is {p.window_geometry(p.main)}")
                time.sleep(0.1)
            time.sleep(1.5)  # no input comes: only the frames the resize itself asked for
            grown = p.shot()
            self.assertEqual(grown.shape, (1100, 1300, 3))
            # The hall's picture over the whole window, the part that was not there before too.
            hall = picture.background_picture("hall.jpg", 1300, 1100)
            self.assertLess(picture.mean_difference(grown[:300, 1200:], hall[:300, 1200:]), 6,
                            "the window's new part is not drawn")
            self.assertLess(picture.mean_difference(grown[:300, :1200], hall[:300, :1200]), 6)

    def test_with_a_window_manager_f11_asks_it_and_it_puts_the_window_back(self):
        with Program() as p:
            with window_manager(self, p):
                framed = p.window_geometry(p.main)
                self.full_screen(p, (1920, 1200))
                self.assertEqual(p.window_geometry(p.main), (0, 0, 1920, 1200))
                self.assertIn("_NET_WM_STATE_FULLSCREEN", p.display.run("xprop", "-id", p.main, "_NET_WM_STATE").stdout)
                self.full_screen(p, (1200, 1000))
                self.assertEqual(p.window_geometry(p.main), framed)


class KeyboardLayoutTest(unittest.TestCase):
    def test_under_azerty_the_key_left_of_x_plays_the_first_chord_and_shows_its_own_letter(self):
        display = VirtualDisplay()
        try:
            display.run("setxkbmap", "fr")
            with Program(display=display) as p:
                names = [detail for _, _, detail in p.events("letters")]
                self.assertTrue(names and "z=w" in names[-1].split(), f"the keys were named {names}")
                # AZERTY's "z" stands where QWERTY's "w" does: no playing letter there.
                p.hold("z", 0.3)
                time.sleep(0.5)
                self.assertEqual(p.events("stroke"), [], "AZERTY's z played")
                down, up = p.hold("w", 0.5)
                time.sleep(0.6)
                self.assertEqual([detail for _, _, detail in p.events("stroke")], ["left"])
                self.assertEqual([d for _, t, d in p.events("key-press") if t >= down - 0.1], [str(ord("z"))])
                samples, zero = p.capture(), p.audio_zero()
                first, last = p.audio_index(down), p.audio_index(up + 0.3)
                chord = sound.level(sound.comb(samples[first:last], CHORD_NOTES))
                others = sound.level(sound.comb(samples[first:last], (50, 53, 57)))  # D minor's
                self.assertGreater(float(chord.max()), 4 * float(others.max()), "C major did not sound")
        finally:
            display.close()


if __name__ == "__main__":
    unittest.main()
