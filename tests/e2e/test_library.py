"""The song library, its captions and letters, and recordings, as a user meets them: "6"
chooses, "5" plays the chosen song, "8" labels the keys, "7" records and saves. (That a song
marked minor plays its minor chords with the user on major is the song player's unit test,
song_test's SongPlayer.ASongMarkedMinorSoundsItsMinorChordsSamplesWithTheUserOnMajor.)

What the program did (songs pressed, samples started) comes from its event log; whether it
was heard, from the capture.
"""

import ctypes
import ctypes.util
import subprocess
import time
import unittest

import numpy as np

import picture
from support import SOURCE_DIR, OneProgramTest, Program, read_song

STEPS_PER_BEAT = 10
# Stroke times: the finger reaches the key 0.16 s after the press; a released key is back at
# rest, its sample stopped, 0.04 s after the release.
STRIKE = 0.16
RELEASE_TO_REST = 0.04
RIGHT_LETTERS = "sdfghjkleryui"
CHORD_LETTERS = "zxcvb"
# The caption's band at the top left, and the same band's width of background beside it.
CAPTION = (slice(10, 50), slice(10, 400))


def caption_shown(shot, background):
    """Whether the caption's band holds text that the background picture does not."""
    return picture.changed_fraction(shot, background, CAPTION) > 0.02


class LibraryTest(OneProgramTest):
    """One run of the program, taken through the chooser, the captions and the letters."""

    def test_1_eight_puts_the_letters_on_the_keys_and_eight_again_takes_them_off(self):
        p = self.program
        before = p.settled_shot()
        p.key("8")
        labelled = p.settled_shot()
        self.assertGreater(picture.changed_fraction(before, labelled, picture.KEYBOARD), 0.001,
                           "no letters appeared on the keys")
        self.assertLess(picture.changed_fraction(before, labelled, picture.KEYBOARD), 0.05,
                        "more than the letters changed")
        p.key("8")
        self.assertLess(picture.mean_difference(before, p.settled_shot(), picture.KEYBOARD), 0.5,
                        "the picture did not come back without the letters")

    def test_2_six_twice_then_five_plays_the_third_song_and_its_caption_goes_after_a_while(self):
        p = self.program
        hall = picture.background_picture("hall.jpg")
        self.assertFalse(caption_shown(self.rest, hall), "a caption with no key pressed")
        p.key("6")
        p.key("6")
        self.assertTrue(caption_shown(p.settled_shot(), hall), "no caption after 6")
        pressed = p.keydown("5")
        p.keyup("5")
        shown = time.monotonic()
        p.frames_from(pressed, 30)
        self.assertTrue(caption_shown(p.settled_shot(), hall), "no caption after 5")
        third = sorted(f.name for f in (SOURCE_DIR / "res" / "songs").glob("*.song") if f.name != "twinkle.song")[1]
        song = read_song(SOURCE_DIR / "res" / "songs" / third)
        first = [RIGHT_LETTERS[int(song["right"][0][1])], CHORD_LETTERS[int(song["left"][0][1])]]
        presses = [letter for _, t, letter in p.events("song-press") if t >= pressed]
        self.assertEqual(presses[:2], first,
                         f"5 did not play {third}")
        time.sleep(max(0.0, shown + 4 - time.monotonic()))
        self.assertFalse(caption_shown(p.settled_shot(), hall), "the caption was still there 4 s later")


class _SmfEvent(ctypes.Structure):
    _fields_ = [("track", ctypes.c_void_p), ("event_number", ctypes.c_int), ("delta_time_pulses", ctypes.c_int),
                ("time_pulses", ctypes.c_int), ("time_seconds", ctypes.c_double), ("track_number", ctypes.c_int),
                ("midi_buffer", ctypes.POINTER(ctypes.c_ubyte)), ("midi_buffer_length", ctypes.c_int)]


def midi_notes(path):
    """The notes of a Standard MIDI File as (pitch, start, length) in seconds, read with libsmf
    (the library the program writes it with)."""
    smf = ctypes.CDLL(ctypes.util.find_library("smf") or "libsmf.so.0")
    smf.smf_load.restype = ctypes.c_void_p
    smf.smf_load.argtypes = [ctypes.c_char_p]
    smf.smf_get_next_event.restype = ctypes.POINTER(_SmfEvent)
    smf.smf_get_next_event.argtypes = [ctypes.c_void_p]
    smf.smf_delete.argtypes = [ctypes.c_void_p]
    handle = smf.smf_load(str(path).encode())
    if not handle:
        raise AssertionError(f"libsmf cannot read {path}")
    notes, sounding = [], {}
    while True:
        event = smf.smf_get_next_event(handle)
        if not event:
            break
        e = event.contents
        data = bytes(e.midi_buffer[i] for i in range(e.midi_buffer_length))
        if len(data) == 3 and data[0] & 0xF0 in (0x80, 0x90):
            if data[0] & 0xF0 == 0x90 and data[2] > 0:
                sounding[data[1]] = e.time_seconds
            elif data[1] in sounding:
                start = sounding.pop(data[1])
                notes.append((data[1], start, e.time_seconds - start))
    smf.smf_delete(handle)
    return sorted(notes, key=lambda n: (n[1], n[0]))


class RecordingTest(unittest.TestCase):
    def recorded(self, p, extension):
        folder = p.data_home / "tinklewood" / "songs"
        return sorted(folder.glob("*" + extension)) if folder.is_dir() else []

    def test_a_take_is_saved_as_a_song_and_a_midi_file_and_plays_back_as_played(self):
        with Program() as p:
            p.key("7")
            started = time.monotonic()
            p.keydown("z")
            for letter, hold, gap in (("s", 0.5, 0.3), ("d", 0.4, 0.2), ("f", 0.6, 0.0)):
                p.hold(letter, hold)
                if letter == "s":
                    p.keyup("z")
                time.sleep(gap)
            time.sleep(0.3)
            p.key("7")
            typed = [t for _, t, key in p.events("key-press")
                     if t > started and key in (str(ord("s")), str(ord("d")), str(ord("f")))]
            songs, midis = self.recorded(p, ".song"), self.recorded(p, ".mid")
            self.assertEqual(len(songs), 1, "no song saved")
            self.assertEqual([m.stem for m in midis], [songs[0].stem], "no MIDI file beside it")

            # The MIDI file holds what sounded: the chord's three notes, then the three letters'.
            notes = midi_notes(midis[0])
            self.assertEqual(sorted(n[0] for n in notes[:3]), [48, 52, 55])
            self.assertEqual([n[0] for n in notes[3:]], [60, 62, 64])
            # A letter sounds from its strike, STRIKE after the program took its press, until its
            # key is back up, RELEASE_TO_REST after it took the release: each on a frame step,
            # which a busy machine may space out to a few hundredths of a second.
            taken = {key: [t for kind, t, k in p.events() if kind == f"key-{key}" and t > started
                           and k in (str(ord("s")), str(ord("d")), str(ord("f")))]
                     for key in ("press", "release")}
            for (pitch, _, length), down, up in zip(notes[3:], taken["press"], taken["release"]):
                sounded = up - down - STRIKE + RELEASE_TO_REST
                self.assertLess(abs(length - sounded), 0.08,
                                f"MIDI {pitch} lasts {length:.2f} s, sounded {sounded:.2f} s (held {up - down:.2f} s)")

            # "5" plays it back: the same letters at the same gaps, the chord on the left hand.
            replay = p.keydown("5")
            p.keyup("5")
            p.frames_from(replay, 120)
            time.sleep(0.5)
            presses = [(t, letter) for _, t, letter in p.events("song-press") if t >= replay]
            self.assertEqual([letter for _, letter in presses if letter in RIGHT_LETTERS], ["s", "d", "f"])
            self.assertEqual([letter for _, letter in presses if letter in CHORD_LETTERS], ["z"])
            times = [t for t, letter in presses if letter in RIGHT_LETTERS]
            # A song's time is its frames: counted in the frames stepped between the presses,
            # a busy machine's slower frames do not stretch the gaps.
            frames = p.logged_frames(replay)
            played_gaps = [len([f for f in frames if a < f <= b]) / 60 for a, b in zip(times, times[1:])]
            beat = STEPS_PER_BEAT / 60
            for played, original in zip(played_gaps, np.diff(typed)):
                self.assertLess(abs(played - original), beat + 0.05,
                                f"a gap of {original:.2f} s came back as {played:.2f} s of frames")

    def test_a_take_is_kept_when_the_x_server_goes(self):
        # The session ending under a recording: the program may not wait for ever on a
        # connection that is gone (it did, in its exit handlers), and the take is saved.
        with Program() as p:
            p.key("7")
            p.hold("s", 0.3)
            time.sleep(0.3)
            p.display.process.kill()
            try:
                status = p.process.wait(10)
            except subprocess.TimeoutExpired:
                self.fail("the program went on without its X server")
            self.assertEqual(status, 1)
            self.assertIn("the connection to the X server was lost", p.stderr())
            songs = self.recorded(p, ".song")
            self.assertEqual(len(songs), 1, "the take was lost")
            self.assertEqual(len(read_song(songs[0])["right"]), 1)

    def test_a_folder_that_cannot_be_made_keeps_the_take_for_another_try(self):
        with Program() as p:
            p.data_home.mkdir(parents=True, exist_ok=True)
            blocker = p.data_home / "tinklewood"
            blocker.write_text("a file where the program's folder should be")
            hall = picture.background_picture("hall.jpg")
            p.key("7")
            p.hold("s", 0.3)
            time.sleep(0.3)
            p.key("7")
            time.sleep(0.2)
            lines = [line for line in p.stderr().splitlines() if "recording" in line]
            self.assertEqual(len(lines), 1, p.stderr())
            self.assertTrue(lines[0].startswith(f"Error: Cannot save the recording to {blocker}/songs/"), lines[0])
            self.assertTrue(caption_shown(p.settled_shot(), hall), "no caption says it was not saved")
            self.assertTrue(p.alive())

            blocker.unlink()
            p.key("7")
            p.hold("d", 0.3)
            time.sleep(0.3)
            p.key("7")
            songs = self.recorded(p, ".song")
            self.assertEqual(len(songs), 1, "the take was not saved after the folder was fixed")
            song = read_song(songs[0])
            self.assertEqual((song["mode"], len(song["right"])), ("major", 2), "both notes, the first take's included")


if __name__ == "__main__":
    unittest.main()
