"""MIDI in and out through a JACK server on its dummy driver, started and stopped here: notes
from a MIDI keyboard heard at their pitch at once (those beyond the keys too), keys going down
and up with them, the sustain pedal holding them, a keyboard plugged in later, the program's own
notes sent out on its output port while those that came in are not, and a JACK server that
stops (the notes held let go, one line) and comes back (found again, its keyboards connected,
one line)."""

import math
import os
import struct
import subprocess
import tempfile
import threading
import time
import unittest
from pathlib import Path

import picture
import sound
from support import BUILD_DIR, SOURCE_DIR, Program

MIDI_PEER = os.environ.get("TINKLEWOOD_MIDI_PEER", str(BUILD_DIR / "midi_peer"))
# JACK delivers a message in its next cycle: 1024 frames at 48 kHz. What a client sends in a
# cycle it has not finished when the next is due is lost: with 256 frames (5 ms) the senders
# here often missed their cycles while other programs kept both cores busy (jackd's log: "client
# was not finished"), and a note-off now and then never reached the program.
JACK_PERIOD_FRAMES = 1024
JACK_PERIOD = JACK_PERIOD_FRAMES / 48000
FRAME = 1 / 60
# The capture's mixing period (support.Program), and where a started sample is heard: in the
# next period or the one after, the capture placed on the clock to about 15 ms.
MIXING_PERIOD = 256 / sound.RATE
AUDIO_EARLY = 0.015
AUDIO_LATE = 2 * MIXING_PERIOD + 0.015
VELOCITY = 100
# C4 E4 G4: white keys 7, 9 and 11.
TRIAD = (60, 64, 67)
WHITE_KEY = {60: 7, 64: 9, 67: 11}
SAMPLE = {60: "C1.mp3", 64: "E1.mp3", 67: "G1.mp3"}


# JACK keeps its servers in a registry in shared memory with room for eight, and frees a
# server's place only when one of the same name starts again. A jackd that ended without leaving
# (killed, crashed, or by a signal) keeps its place for good; the names here are new on every
# run, so after eight such ends on a machine, across any number of runs, no server starts again
# ("Too many servers already active") until the next boot.
JACK_REGISTRY = Path("/dev/shm/jack-shm-registry")
JACK_MAX_SERVERS = 8
JACK_REGISTRY_HEADER = struct.Struct("<IHxxIIII")  # magic, protocol, type, size, header, entry
JACK_MAGIC = 0x4A41434B


def forget_dead_jack_servers(registry=JACK_REGISTRY):
    """Frees the registry's places held by servers whose process is gone, as JACK itself does
    for a server of the same name. Returns how many it freed; a registry laid out otherwise is
    left as it is."""
    try:
        with open(registry, "r+b") as file:
            data = bytearray(file.read())
            if len(data) < JACK_REGISTRY_HEADER.size:
                return 0
            magic, _, _, _, header_length, _ = JACK_REGISTRY_HEADER.unpack_from(data)
            place = (header_length - JACK_REGISTRY_HEADER.size) // JACK_MAX_SERVERS
            if magic != JACK_MAGIC or place < 8 or header_length > len(data):
                return 0
            freed = 0
            for index in range(JACK_MAX_SERVERS):
                offset = JACK_REGISTRY_HEADER.size + index * place
                pid = struct.unpack_from("<i", data, offset)[0]
                if pid > 0 and not process_alive(pid):
                    file.seek(offset)
                    file.write(bytes(place))
                    freed += 1
            return freed
    except OSError:
        return 0


def process_alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        return True
    return True


class JackServer:
    """jackd on its dummy driver under a name of its own, so that no other JACK client (nor
    another run of the suite) meets it. Its log goes to a file that a failed start quotes."""

    def __init__(self):
        self.name = f"tinklewood-e2e-{os.getpid()}"
        self.env = dict(os.environ, JACK_DEFAULT_SERVER=self.name)
        forget_dead_jack_servers()
        self.log = tempfile.TemporaryFile()
        self.process = subprocess.Popen(
            ["jackd", "--no-realtime", "-n", self.name, "-d", "dummy", "-r", "48000", "-p", str(JACK_PERIOD_FRAMES)],
            stdout=self.log, stderr=subprocess.STDOUT, env=self.env)
        # A start takes well under a second; the wait is long for a machine kept busy.
        deadline = time.monotonic() + 30
        while not self.answers():
            if self.process.poll() is not None or time.monotonic() > deadline:
                self.close()
                raise RuntimeError("jackd did not start: " + " / ".join(self.said[-5:]))
            time.sleep(0.2)

    def answers(self):
        return subprocess.run(["jack_wait", "-c", "-s", self.name], env=self.env, capture_output=True,
                              text=True).stdout.strip() == "running"

    def connections(self):
        return subprocess.run(["jack_lsp", "-c", "-s", self.name], env=self.env, capture_output=True,
                              text=True).stdout

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        # Told to stop while a client's socket has just closed (a keyboard unplugged, then the
        # server stopped), jackd meets a SIGPIPE, which it takes as a reason to end at once,
        # keeping its place in the registry.
        forget_dead_jack_servers()
        if not self.log.closed:
            self.log.seek(0)
            self.said = self.log.read().decode(errors="replace").strip().splitlines()
            self.log.close()


class Peer:
    """midi_peer: a MIDI keyboard (its port "out") and a synthesizer (its port "in")."""

    def __init__(self, jack, name="midi-peer"):
        self.name = name
        self.process = subprocess.Popen([MIDI_PEER, name], env=jack.env, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True)
        self.lines = []
        self.received = []  # (time, bytes)
        self.changed = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()
        self._wait_line("ready")

    def _read(self):
        for line in self.process.stdout:
            fields = line.split()
            with self.changed:
                if fields and fields[0] == "recv":
                    self.received.append((float(fields[1]), tuple(int(b, 16) for b in fields[2:])))
                else:
                    self.lines.append(line.strip())
                self.changed.notify_all()

    def _wait_line(self, prefix, timeout=10):
        deadline = time.monotonic() + timeout
        with self.changed:
            while True:
                for index, line in enumerate(self.lines):
                    if line.startswith(prefix):
                        del self.lines[index]
                        return line
                remaining = deadline - time.monotonic()
                if remaining <= 0 or self.process.poll() is not None:
                    raise AssertionError(f"midi_peer never said {prefix!r}")
                self.changed.wait(remaining)

    def _command(self, text):
        self.process.stdin.write(text + "\n")
        self.process.stdin.flush()

    def send(self, *message):
        """Sends one message; returns when it was handed to JACK."""
        self._command("send " + " ".join(f"{b:02x}" for b in message))
        return float(self._wait_line("sent").split()[1])

    def listen(self, port):
        self._command("listen " + port)
        if self._wait_line("") != "listening":
            raise AssertionError(f"no port {port}")

    def messages(self, after=0.0):
        with self.changed:
            return [m for t, m in self.received if t >= after]

    def close(self):
        if self.process.poll() is None:
            self.process.stdin.close()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def white_key_column(rest, key):
    """The rows and columns of a white key's part behind the resting fingers, from the
    picture at rest."""
    _, white = picture.keys_on_row(rest, picture.KEY_ROWS[0])
    start, width = white[key]
    return (slice(400, 470), slice(start, start + width))


class MidiTest(unittest.TestCase):
    """One JACK server, one keyboard and one run of the program, taken through the steps in
    order (the names keep it)."""

    @classmethod
    def setUpClass(cls):
        cls.jack = JackServer()
        cls.peer = None
        cls.program = None
        try:
            # The keyboard is there first: the program connects to it as it starts.
            cls.peer = Peer(cls.jack)
            cls.program = Program(env=dict(cls.jack.env, TINKLEWOOD_MIDI="jack"))
            cls.wait_event("midi-connect", "midi-peer:out")
            cls.rest = cls.program.settled_shot()
        except Exception:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        for part in (cls.program, cls.peer, cls.jack):
            if part is not None:
                part.close()

    @classmethod
    def wait_event(cls, kind, detail, timeout=10):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for _, t, d in cls.program.events(kind):
                if d == detail:
                    return t
            time.sleep(0.05)
        raise AssertionError(f"the program never logged {kind} {detail}")

    def taken(self, detail, after, timeout=5):
        """Waits until the program has taken a MIDI message (its log's words, "off 60" or
        "pedal 0") sent at `after`: a check of what follows it must not judge JACK's delivery
        on a busy machine."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for _, t, d in self.program.events("midi-in"):
                if t >= after and (d == detail or d.startswith(detail + " ")):
                    return t
            time.sleep(0.01)
        raise AssertionError(f"the program never took the MIDI message {detail}")

    def started_after(self, t, path_end):
        """When the program started a MIDI note's sample after t, and how long the note had
        waited for it since it came in (its own log)."""
        for _, at, path in self.program.events("midi-play"):
            if at >= t and path.endswith(path_end):
                note_on = [d for _, when, d in self.program.events("midi-in") if when <= at][-1]
                return at, float(note_on.split()[-1])
        raise AssertionError(f"no sample {path_end} started after the note-on")

    def assert_played_within_a_frame(self, played, waited, note):
        """A note is played as soon as it comes in, or, when it comes while a frame is being
        drawn, right after that frame: by the next frame step at the latest (the frame loop
        logs a step before it draws the frame)."""
        arrived = played - waited
        later = self.program.logged_frames(arrived)
        latest = max(later[0] if later else arrived, arrived + 0.005) + 0.001
        self.assertLessEqual(played, latest, f"MIDI {note} came in {1000 * waited:.1f} ms before it "
                             f"was played, past the next frame step")

    def listen(self, start, end):
        p = self.program
        p.wait_frames(2)
        samples, zero = p.capture(), p.audio_zero()
        return samples, zero, sound.spans_between(samples, zero, start, end)

    def key_columns(self, notes):
        return [white_key_column(self.rest, WHITE_KEY[n]) for n in notes]

    def test_1_each_note_on_is_heard_at_its_pitch_at_once_and_its_key_goes_down_and_up(self):
        p, peer = self.program, self.peer
        for note in TRIAD:
            sent = peer.send(0x90, note, VELOCITY)
            time.sleep(0.3)
            held = p.shot()
            released = self.taken(f"off {note}", peer.send(0x80, note, 0))
            time.sleep(0.4)
            up = p.settled_shot()
            samples, zero, spans = self.listen(sent - 0.1, released + 0.4)

            played, waited = self.started_after(sent, SAMPLE[note])
            self.assertLess(played - sent, 0.1, "the note-on was not played at once")
            self.assert_played_within_a_frame(played, waited, note)
            path = SOURCE_DIR / "res" / "sounds" / "piano" / SAMPLE[note]
            heard, alike, (earliest, latest) = sound.heard_near(p, samples, sound.decode(path), played,
                                                                early=AUDIO_EARLY, late=AUDIO_LATE)
            self.assertGreater(alike, 0.8, f"MIDI {note} did not sound as its sample")
            self.assertTrue(earliest <= heard <= latest,
                            f"MIDI {note} was heard {heard - played:+.4f} s from its start")
            print(f"\nMIDI {note}: waited {1000 * waited:.1f} ms in the program, started "
                  f"{1000 * (played - sent):.1f} ms and heard {1000 * (heard - sent):.1f} ms after "
                  f"it was sent", flush=True)
            self.assertEqual(len(spans), 1, f"MIDI {note}: heard {spans}")
            start, end = spans[0]
            pitch, _ = sound.strongest_note(samples, start - zero + 0.03, min(0.2, end - start - 0.05))
            self.assertEqual(pitch, note, f"MIDI {note} sounded as MIDI {pitch}")
            # The note-off lets the key rise over 0.04 s and its sample fade with it.
            self.assertGreater(end, released, "the note ended before its note-off")
            self.assertLess(end, released + 0.1 + AUDIO_LATE,
                            f"MIDI {note} sounded on {end - released:.3f} s after its note-off")

            column = white_key_column(self.rest, WHITE_KEY[note])
            self.assertGreater(picture.changed_fraction(self.rest, held, column), 0.05,
                               f"the key of MIDI {note} did not go down")
            self.assertLess(picture.changed_fraction(self.rest, up, column), 0.01,
                            f"the key of MIDI {note} did not come back up")

    def test_2_a_held_triad_keeps_its_keys_down_until_the_note_offs(self):
        p, peer = self.program, self.peer
        sent = [peer.send(0x90, note, VELOCITY) for note in TRIAD]
        time.sleep(0.5)
        held = p.shot()
        released = [self.taken(f"off {note}", peer.send(0x80, note, 0)) for note in TRIAD]
        time.sleep(0.4)
        up = p.settled_shot()
        samples, zero, spans = self.listen(sent[0] - 0.1, released[-1] + 0.4)
        for column, note in zip(self.key_columns(TRIAD), TRIAD):
            self.assertGreater(picture.changed_fraction(self.rest, held, column), 0.05,
                               f"MIDI {note} of the triad is not down")
            self.assertLess(picture.changed_fraction(self.rest, up, column), 0.01,
                            f"MIDI {note} of the triad did not come up")
        self.assertEqual(len(spans), 1, f"heard {spans}")
        start, end = spans[0]
        strengths = sound.fundamentals(samples, start - zero + 0.05, 0.3, range(55, 72))
        for note in TRIAD:
            self.assertGreater(strengths[note], 0.25, f"MIDI {note} is missing from the triad: {strengths}")
        self.assertLess(end, released[-1] + 0.1 + AUDIO_LATE, "the triad sounded on after its note-offs")

    def test_3_the_sustain_pedal_holds_keys_and_sound_past_the_note_offs(self):
        p, peer = self.program, self.peer
        peer.send(0xB0, 64, 127)
        sent = [peer.send(0x90, note, VELOCITY) for note in TRIAD]
        time.sleep(0.2)
        for note in TRIAD:
            self.taken(f"off {note}", peer.send(0x80, note, 0))
        time.sleep(0.5)
        sustained = p.shot()
        lifted = self.taken("pedal 0", peer.send(0xB0, 64, 0))
        time.sleep(0.4)
        up = p.settled_shot()
        samples, zero, spans = self.listen(sent[0] - 0.1, lifted + 0.4)
        for column, note in zip(self.key_columns(TRIAD), TRIAD):
            self.assertGreater(picture.changed_fraction(self.rest, sustained, column), 0.05,
                               f"the pedal did not hold MIDI {note} down")
            self.assertLess(picture.changed_fraction(self.rest, up, column), 0.01,
                            f"MIDI {note} stayed down after the pedal came up")
        self.assertEqual(len(spans), 1, f"heard {spans}")
        self.assertGreater(spans[0][1], lifted, "the pedal did not hold the sound")
        self.assertLess(spans[0][1], lifted + 0.1 + AUDIO_LATE, "the sound went on after the pedal came up")

    def test_4_velocity_sets_the_volume(self):
        peer = self.peer
        levels = {}
        for velocity in (127, 40):
            sent = peer.send(0x90, 62, velocity)
            time.sleep(0.3)
            peer.send(0x80, 62, 0)
            time.sleep(0.3)
            samples, zero, _ = self.listen(sent, sent + 0.5)
            played, _ = self.started_after(sent, "D1.mp3")
            first = int((played - zero) * sound.RATE)
            piece = samples[first:first + int(0.2 * sound.RATE)]
            levels[velocity] = float((piece ** 2).mean() ** 0.5)
        # The square of 40 / 127: 20 dB down.
        ratio = levels[40] / levels[127]
        self.assertTrue(0.06 < ratio < 0.16, f"velocity 40 sounded at {ratio:.3f} of velocity 127")

    def test_5_a_keyboard_plugged_in_later_is_connected_and_far_notes_sound_at_their_own_pitch(self):
        p = self.program
        late = Peer(self.jack, "late-keyboard")
        try:
            self.wait_event("midi-connect", "late-keyboard:out", timeout=5)
            # C6 and C2, an octave beyond the keys each way: the sample of the key of their name
            # nearest them, twice and half as fast, heard at once at the note's own pitch.
            for note, sample in ((84, "C2.mp3"), (36, "C0.mp3")):
                sent = late.send(0x90, note, VELOCITY)
                time.sleep(0.7)
                released = self.taken(f"off {note}", late.send(0x80, note, 0))
                time.sleep(0.3)
                samples, zero, spans = self.listen(sent - 0.1, released + 0.3)
                self.started_after(sent, sample)
                self.assertGreaterEqual(len(spans), 1, f"MIDI {note} was not heard")
                heard = spans[0][0]
                start = heard - zero + 0.05
                hz = sound.fundamental_hz(samples, start, 0.5, note)
                cents = 1200 * math.log2(hz / sound.midi_hz(note))
                pitch, _ = sound.strongest_note(samples, start, 0.5, candidates=range(24, 100))
                print(f"\nMIDI {note}: heard {1000 * (heard - sent):.1f} ms after it was sent, "
                      f"{cents:+.1f} cents", flush=True)
                self.assertLess(heard - sent, 0.05, f"MIDI {note} was heard {heard - sent:.3f} s after it was sent")
                self.assertEqual(pitch, note, f"MIDI {note} sounded as MIDI {pitch}")
                self.assertLess(abs(cents), 10, f"MIDI {note} sounded {cents:+.1f} cents off")
            sent = late.send(0x90, 49, VELOCITY)  # C#3, on its own key
            time.sleep(0.2)
            late.send(0x80, 49, 0)
            time.sleep(0.2)
            self.started_after(sent, "Black0.mp3")
        finally:
            late.close()

    def test_6_the_output_port_sends_what_the_letters_play_and_not_what_came_in(self):
        p, peer = self.program, self.peer
        peer.listen("Tinklewood out:Tinklewood")
        down, up = p.hold("s", 0.4)
        time.sleep(0.5)
        p.wait_frames(2)
        out = peer.messages(down)
        self.assertEqual(out, [(0xC0, 0), (0x90, 60, 127), (0x80, 60, 64)],
                         "'s' did not go out as the piano's middle C")
        played_at = [t for _, t, _ in p.events("play") if t > down][0]
        received_on = [t for t, m in peer.received if m[0] == 0x90 and t > down][0]
        self.assertLess(received_on - played_at, 0.05, "the note-on went out late")

        p.key("space")  # the synth
        time.sleep(0.3)
        self.assertIn((0xC0, 81), peer.messages(up), "no program change to the synth")
        # Back to the piano, past the system's General MIDI SoundFont when one is installed.
        for _ in range(12):
            chosen = len(p.events("instrument"))
            p.key("space")
            deadline = time.monotonic() + 5
            while len(p.events("instrument")) == chosen and time.monotonic() < deadline:
                time.sleep(0.02)
            if p.events("instrument")[-1][2] == "piano":
                break
        self.assertEqual(p.events("instrument")[-1][2], "piano", "Space never came back to the piano")

        # What comes in is played, not sent back out.
        since = time.monotonic()
        peer.send(0x90, 65, VELOCITY)
        time.sleep(0.3)
        peer.send(0x80, 65, 0)
        time.sleep(0.5)
        self.assertEqual([m for m in peer.messages(since) if m[0] != 0xC0], [],
                         "notes that came in through MIDI went back out")

    def test_7_a_jack_server_that_stops_lets_go_of_the_notes_held_and_the_program_plays_on(self):
        p, peer = self.program, self.peer
        peer.send(0xB0, 64, 127)
        sent = peer.send(0x90, 60, VELOCITY)
        self.taken("on 60", sent)
        peer.send(0x90, 64, VELOCITY)
        self.taken("off 64", peer.send(0x80, 64, 0))  # held by the pedal
        time.sleep(0.3)
        held = p.shot()
        for column, note in zip(self.key_columns((60, 64)), (60, 64)):
            self.assertGreater(picture.changed_fraction(self.rest, held, column), 0.05, f"MIDI {note} is not down")
        self.peer.close()
        stopped = time.monotonic()
        self.jack.close()
        lost = self.wait_event("midi-lost", "", timeout=5)
        print(f"\nthe loss seen {lost - stopped:.2f} s after the server was told to stop", flush=True)
        time.sleep(0.5)
        up = p.settled_shot()
        for column, note in zip(self.key_columns((60, 64)), (60, 64)):
            self.assertLess(picture.changed_fraction(self.rest, up, column), 0.01,
                            f"MIDI {note} stayed down after the server went away")
        samples, zero, spans = self.listen(sent - 0.1, time.monotonic())
        self.assertEqual(len(spans), 1, f"heard {spans}")
        self.assertLess(spans[0][1], lost + 0.1 + AUDIO_LATE, "the notes sounded on after the server went away")
        self.assertEqual(p.stderr().splitlines(),
                         ["tinklewood: MIDI: the JACK server has gone; looking for it again every second"])

        down, up = p.hold("d", 0.3)
        time.sleep(0.5)
        samples, zero, spans = self.listen(down, up + 0.4)
        self.assertEqual(len(spans), 1, f"'d' after the JACK server stopped: heard {spans}")

    def test_8_a_jack_server_back_is_found_and_its_keyboards_connected_again(self):
        p = self.program
        cls = type(self)
        started = time.monotonic()
        cls.jack = JackServer()
        cls.peer = Peer(cls.jack)
        deadline = time.monotonic() + 10
        while not [t for _, t, d in p.events("midi-connect") if t > started and d == "midi-peer:out"]:
            self.assertLess(time.monotonic(), deadline, "the keyboard was not connected again")
            time.sleep(0.05)
        lines = p.stderr().splitlines()
        self.assertEqual(len(lines), 2, lines)
        self.assertEqual(lines[1], "tinklewood: MIDI: a JACK server is back; its MIDI sources are connected again")
        sent = cls.peer.send(0x90, 67, VELOCITY)
        time.sleep(0.3)
        self.taken("off 67", cls.peer.send(0x80, 67, 0))
        played, _ = self.started_after(sent, SAMPLE[67])
        self.assertLess(played - sent, 0.1, "the note-on was not played at once")

    def test_9_quitting_after_the_server_stopped_again_is_quick_and_clean(self):
        p = self.program
        self.peer.close()
        stopped = time.monotonic()
        self.jack.close()
        deadline = time.monotonic() + 5
        while len([t for _, t, _ in p.events("midi-lost") if t > stopped]) == 0:
            self.assertLess(time.monotonic(), deadline, "the second loss was not seen")
            time.sleep(0.05)
        # RtMidi's clients of a server that is gone take a second to close (its output waits that
        # long for a queue nobody empties): the program closes them as soon as it sees the loss,
        # on its looking thread, so that the quit does not wait for them.
        time.sleep(1.5)
        quitting = time.monotonic()
        self.assertEqual(p.quit(), 0)
        took = time.monotonic() - quitting
        print(f"\nquit in {took:.2f} s; stderr: {p.stderr()!r}", flush=True)
        self.assertLess(took, 1.0, "RtMidi's clients of the server that went away held the quit up")
        self.assertEqual(len(p.stderr().splitlines()), 3, p.stderr())


class NoMidiTest(unittest.TestCase):
    """Without a MIDI system the program starts as it always has."""

    def test_no_jack_server_and_no_sequencer_mean_no_word(self):
        env = {"JACK_DEFAULT_SERVER": f"tinklewood-e2e-none-{os.getpid()}"}
        with Program(env=env) as p:
            down, up = p.hold("s", 0.3)
            time.sleep(0.5)
            p.wait_frames(2)
            samples, zero = p.capture(), p.audio_zero()
            self.assertEqual(len(sound.spans_between(samples, zero, down, up + 0.4)), 1)
            self.assertEqual(p.quit(), 0)
            self.assertEqual(p.stderr(), "")
            self.assertEqual(p.events("midi-open"), [])

    def test_asked_for_jack_without_a_server_says_so_in_one_line(self):
        env = {"JACK_DEFAULT_SERVER": f"tinklewood-e2e-none-{os.getpid()}", "TINKLEWOOD_MIDI": "jack"}
        with Program(env=env) as p:
            self.assertEqual(p.quit(), 0)
            lines = p.stderr().splitlines()
            self.assertEqual(len(lines), 1, f"stderr: {lines}")
            self.assertIn("JACK", lines[0])


if __name__ == "__main__":
    unittest.main()


class JackRegistryTest(unittest.TestCase):
    """The suite's servers end by signals now and then; their places must not add up."""

    def test_places_of_ended_servers_are_freed_and_those_of_running_ones_kept(self):
        place = 264
        header = JACK_REGISTRY_HEADER.pack(JACK_MAGIC, 0, 1, 70744, 24 + 8 * place, 268)
        ended = subprocess.Popen(["true"])
        ended.wait()
        servers = [(os.getpid(), b"jack-0:running:"), (ended.pid, b"jack-0:ended:"), (0, b"")]
        data = header + b"".join(struct.pack("<i", pid) + name.ljust(place - 4, b"\0")
                                 for pid, name in servers + [(0, b"")] * 5) + b"\xaa" * 100
        with tempfile.NamedTemporaryFile() as registry:
            registry.write(data)
            registry.flush()
            self.assertEqual(forget_dead_jack_servers(registry.name), 1)
            after = Path(registry.name).read_bytes()
        self.assertEqual(after[:24 + place], data[:24 + place], "a running server lost its place")
        self.assertEqual(after[24 + place:24 + 2 * place], bytes(place))
        self.assertEqual(after[24 + 2 * place:], data[24 + 2 * place:])

        with tempfile.NamedTemporaryFile() as other:
            other.write(b"\0" * 4 + data[4:])  # not JACK's magic: a layout this does not know
            other.flush()
            self.assertEqual(forget_dead_jack_servers(other.name), 0)
            self.assertEqual(Path(other.name).read_bytes()[4:], data[4:])
