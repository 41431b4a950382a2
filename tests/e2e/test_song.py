"""Song playback heard in the capture: one onset per entry of each hand, each on its beat.

The song (songs/timing.song) has entries of two beats or more: a one-beat entry is released
before its stroke reaches the key. Its chords start only on beats where a note starts too, so
each hand is heard through the fundamentals of its own notes. The right hand plays black keys
only, whose pitches no partial of the chords (C, D, E, F, G, A, B of octave 3) comes near.
The chords are played so that the right hand is heard over a real accompaniment; their
onsets are not counted here: a chord's narrow bands ring on across the short silence before
the next chord and blur its start at some frame rates. That every chord of a song starts on
its beat is checked frame by frame in the unit tests of the song player.
"""

import tempfile
import time
import unittest
from pathlib import Path

import sound
from support import E2E_DIR, Program, make_layout, song_text

FRAMES_PER_BEAT = 10
STRIKE = 0.16
# Chords are C3 to B3 (MIDI 48 to 59); the piano's higher notes carry a low thump of their own,
# so both hands are heard through their fundamentals alone.
BLACK_NOTES = (61, 63, 66, 68, 70)
CHORD_NOTES = range(48, 60)
AUDIO_SLACK = 0.03
NOTE_MIDI = [60, 62, 64, 65, 67, 69, 71, 72, 61, 63, 66, 68, 70]  # s d f g h j k l e r y u i


def read_song(path):
    words = path.read_text().split()
    count = int(words[0])
    right = [(int(words[1 + 2 * i]), int(words[2 + 2 * i])) for i in range(count)]
    rest = words[1 + 2 * count:]
    left = [(int(rest[1 + 2 * i]), int(rest[2 + 2 * i])) for i in range(int(rest[0]))]
    return right, left


def start_beats(entries):
    beats, total = [], 0
    for duration, _ in entries:
        beats.append(total)
        total += duration
    return beats, total


class SongTest(unittest.TestCase):
    def test_song_sounds_one_onset_per_entry_each_on_its_beat(self):
        song = E2E_DIR / "songs" / "timing.song"
        right, left = read_song(song)
        right_beats, length = start_beats(right)
        left_beats, _ = start_beats(left)
        self.assertTrue(set(left_beats) <= set(right_beats), "the song must start chords with notes")
        with tempfile.TemporaryDirectory() as root:
            workdir = make_layout(root, songs={"twinkle.song": song.read_text()})
            with Program(workdir) as p:
                time.sleep(0.5)
                pressed = p.keydown("5")
                p.keyup("5")
                # The song runs length beats of ten frames; wait them out and a little more.
                p.frames_from(pressed, length * FRAMES_PER_BEAT + 12, timeout=240)
                time.sleep(0.5)
                samples, zero = p.capture(), p.audio_zero()
                end = time.monotonic()
                frames = p.frames.between(pressed, end)
                interval, _ = p.frame_interval(pressed, end)

                first = int((pressed - zero) * sound.RATE)
                piece = samples[first:int((end - zero) * sound.RATE)]
                notes = [pressed + t for t in sound.onsets(sound.level(sound.comb(piece, BLACK_NOTES)))]
                self.assertEqual(len(notes), len(right), f"right-hand entries {len(right)}, note onsets "
                                 f"heard at {[round(t - pressed, 2) for t in notes]}")

                # The song is loaded in the key handler, after the frame being drawn when the
                # key arrived; its first frame step follows that frame. The step of frame n
                # of the song presses the entries that start on beat n / 10, and the first step
                # after that whose stroke time passes 0.16 s starts the sound.
                # The first entry is pressed inside the key handler itself, whose stroke clock
                # starts with the key, not with a frame.
                def expected(beat):
                    press_index = beat * FRAMES_PER_BEAT
                    press = frames[press_index] if beat > 0 else pressed
                    for frame in frames[press_index + 1:]:
                        if frame - press > STRIKE:
                            return frame
                    self.fail("the song's frames ran out")
                for kind, spans, beats in (("note", notes, right_beats),):
                    for start, beat in zip(spans, beats):
                        self.assertLess(abs(start - expected(beat)), interval + AUDIO_SLACK,
                                        f"the {kind} of beat {beat} sounded {start - expected(beat):+.3f} s "
                                        f"from its frame (one frame is {interval:.3f} s)")
                # And the notes are the song's.
                for start, (_, index) in zip(notes, right):
                    note, _ = sound.strongest_note(samples, start - zero + 0.02, 0.12, candidates=BLACK_NOTES)
                    self.assertEqual(note, NOTE_MIDI[index], f"entry with index {index} sounded MIDI {note}")

    def test_one_beat_entries_each_sound_in_order_and_an_accompaniment_plays_to_its_end(self):
        quick = song_text([(1, i) for i in range(8)])
        # The melody is over after half a second, the chords after four.
        long = song_text([(3, 0)], [(6, 0), (6, 2), (6, 0), (6, 4)])
        with tempfile.TemporaryDirectory() as root:
            workdir = make_layout(root, songs={"twinkle.song": quick})
            song = workdir.parent / "res" / "songs" / "twinkle.song"
            with Program(workdir) as p:
                time.sleep(0.5)
                pressed = p.keydown("5")
                p.keyup("5")
                p.frames_from(pressed, 8 * FRAMES_PER_BEAT + 20, timeout=60)
                time.sleep(0.3)
                samples, zero = p.capture(), p.audio_zero()
                frames = p.frames.between(pressed, time.monotonic())
                first = int((pressed - zero) * sound.RATE)
                heard = [pressed + t for t in sound.onsets(sound.level(samples[first:]), quiet=10)]
                self.assertEqual(len(heard), 8, f"one-beat entries heard at {[round(t - pressed, 2) for t in heard]}")
                notes = [sound.strongest_note(samples, t - zero + 0.005, 0.05, candidates=range(60, 73))[0]
                         for t in heard]
                self.assertEqual(notes, NOTE_MIDI[:8])
                # Each within its own beat: pressed on the frame the beat starts, struck before
                # the beat's sixth frame releases it.
                for beat, onset in enumerate(heard):
                    start = pressed if beat == 0 else frames[beat * FRAMES_PER_BEAT - 1]
                    end = frames[beat * FRAMES_PER_BEAT + 6]
                    self.assertTrue(start < onset < end + AUDIO_SLACK,
                                    f"entry {beat} sounded {onset - pressed:.3f} s in, outside its beat")

                song.write_text(long)
                pressed = p.keydown("5")
                p.keyup("5")
                p.frames_from(pressed, 24 * FRAMES_PER_BEAT + 20, timeout=60)
                time.sleep(0.5)
                samples, zero = p.capture(), p.audio_zero()
                frames = p.frames.between(pressed, time.monotonic())
                spans = sound.spans_between(samples, zero, pressed, time.monotonic())
                self.assertTrue(spans, "nothing sounded")
                last_chord = frames[18 * FRAMES_PER_BEAT - 1]
                self.assertGreater(spans[-1][1], last_chord + 0.3,
                                   "the accompaniment stopped with the melody instead of playing to its end")


if __name__ == "__main__":
    unittest.main()
