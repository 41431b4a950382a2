"""The soak: the real program, built with sanitizers, played as a user plays it for as long as
it is given (scripts/soak MINUTES [address|thread|plain]).

One run of the program on a JACK server of its own: songs chosen and played through (the
shipped ones, and MIDI files and songs in the user's folder), letters and chords typed and held,
MIDI notes with the pedal from a JACK keyboard, takes recorded and saved, play along, the
instruments, textures, lights and camera, the window hidden and shown, the help window closed
and brought back; the JACK server is stopped and started again once. It ends with Escape while
a take is being recorded. It fails on any sanitizer report, a program that ended by itself, an
exit status other than 0, or a take that was not saved.

Nothing here is timed against the program: a program built with ThreadSanitizer runs many times
slower, and the frames it skips are caught up by its clock.
"""

import argparse
import os
import random
import resource
import shutil
import sys
import tempfile
import time
from pathlib import Path

import support
from support import SOURCE_DIR, FastInput, Program, press_close_box, saved_recordings
from test_midi import JackServer, Peer

NOTE_LETTERS = "sdfghjkleryui"
CHORD_LETTERS = "zxcvb"
LIGHT_KEYS = ["1", "2", "3", "4", "less", "greater", "slash", "question", "Left", "Right", "Up", "Down"]
# A few of the MIDI corpus's files in the user's songs folder, so that "6" also chooses files
# the importer takes apart; the corpus's malformed ones are refused with a line, as in use.
USER_MIDI = ["ok_format1_waltz_with_drums.mid", "ok_scale_over_chords.mid", "hour_long_note.mid",
             "drums_only.mid", "no_notes.mid", "tempo_zero.mid", "running_status_after_meta.mid",
             "libsmf_overread_1.mid", "libsmf_assert_escaped_sysex.mid", "format_2.mid"]
# What the program may say on stderr in a soak: MIDI lost, and found again, and the refusals of
# the corpus's malformed files put in the user's folder above.
EXPECTED_STDERR = ("tinklewood: MIDI: the JACK server has gone", "tinklewood: MIDI: a JACK server is back",
                   "Error: Malformed MIDI file ", "Error: Failed to open MIDI file ")


class Soak:
    def __init__(self, program_dir, minutes, sanitizer, reports, seed):
        self.rng = random.Random(seed)
        self.minutes = minutes
        self.start = time.monotonic()
        self.end = self.start + minutes * 60
        self.reports = reports
        self.counts = dict(songs=0, songs_through=0, letters=0, midi_notes=0, takes=0, restarts=0,
                           play_along=0, hidden=0, help_closed=0)
        self.jack = JackServer()
        self.peer = Peer(self.jack)
        env = dict(self.jack.env, TINKLEWOOD_MIDI="jack", **sanitizer_env(sanitizer, reports))
        self.program = Program(program_dir, env=env)
        self.program_dir = program_dir
        self.input = FastInput(self.program.display, self.program.main)
        self.wait_event("midi-connect", lambda d: d == "midi-peer:out", self.start, 60)
        self.restart_at = self.start + 0.4 * (self.end - self.start)
        songs = self.program.data_home / "tinklewood" / "songs"
        songs.mkdir(parents=True, exist_ok=True)
        for name in USER_MIDI:
            if (SOURCE_DIR / "tests" / "midi" / name).is_file():
                shutil.copy(SOURCE_DIR / "tests" / "midi" / name, songs / name)

    # --- what the program said ----------------------------------------------------------------

    def wait_event(self, kind, matches, after, timeout):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if any(t > after and matches(d) for _, t, d in self.program.events(kind)):
                return
            self.check_alive()
            time.sleep(0.2)
        raise AssertionError(f"the program never logged {kind} within {timeout} s")

    def check_alive(self):
        if not self.program.alive():
            raise AssertionError(f"the program ended by itself, status {self.program.process.returncode}")

    def left(self):
        return self.end - time.monotonic()

    # --- a user's hands -----------------------------------------------------------------------

    def tap(self, name, hold=0.05):
        code = self.input.keycode(name)
        self.input.key(code, True)
        time.sleep(hold)
        self.input.key(code, False)

    def letters(self, count, fast=False):
        for _ in range(count):
            letter = self.rng.choice(NOTE_LETTERS + CHORD_LETTERS)
            self.tap(letter, self.rng.uniform(0.02, 0.08) if fast else self.rng.uniform(0.1, 0.5))
            time.sleep(self.rng.uniform(0.0, 0.05) if fast else self.rng.uniform(0.05, 0.3))
            self.counts["letters"] += 1

    def letters_struck(self, count):
        """Letters typed for a take, and a wait until the take holds them: a take holds a letter
        once its key is struck (one still on its way down when the take stops is in neither
        file), and under ThreadSanitizer the strike may come seconds after the press. Any sound
        does not do: a song or a MIDI note still sounding met that wait while the letters waited
        for a hand the song kept busy, and the take stopped empty."""
        begun = time.monotonic()
        self.letters(count - 1)
        typed = time.monotonic()
        self.letters(1)
        try:
            self.wait_event("take-stroke", lambda d: True, typed, 15)
        except AssertionError:
            # The last letter's key may be one a song holds down, which takes no new press.
            try:
                self.wait_event("take-stroke", lambda d: True, begun, 45)
            except AssertionError as error:
                raise AssertionError(f"{error}; the program's log since: {self.told_since(begun)}") from None

    def told_since(self, since):
        """What the program logged since then, frames left out: for a failure's message."""
        return [(kind, round(t - since, 2), detail) for kind, t, detail in self.program.events()
                if t >= since and kind != "frame"][-60:]

    def midi(self, count):
        """Notes from the JACK keyboard across its whole range, held and overlapping, with the
        pedal now and then; every note and the pedal let go at the end."""
        held = set()
        pedal = False
        for _ in range(count):
            note = self.rng.randint(24, 108)
            self.peer.send(0x90, note, self.rng.randint(20, 127))
            held.add(note)
            self.counts["midi_notes"] += 1
            if self.rng.random() < 0.2:
                pedal = not pedal
                self.peer.send(0xB0, 64, 127 if pedal else 0)
            time.sleep(self.rng.uniform(0.03, 0.3))
            if held and self.rng.random() < 0.6:
                off = self.rng.choice(sorted(held))
                self.peer.send(0x80, off, 0)
                held.discard(off)
        for note in held:
            self.peer.send(0x80, note, 0)
        self.peer.send(0xB0, 64, 0)

    # --- what a user does ---------------------------------------------------------------------

    def song(self):
        """The next song chosen and played, through to its end when there is time, with letters
        and MIDI notes over it now and then."""
        p = self.program
        for _ in range(self.rng.randint(1, 3)):
            p.key("6")
        started = time.monotonic()
        p.key("5")
        self.counts["songs"] += 1
        cap = min(70.0 if self.minutes >= 10 else 20.0, max(self.left() - 20, 5.0))
        while time.monotonic() - started < cap:
            time.sleep(1.0)
            presses = [t for _, t, _ in p.events("song-press") if t > started]
            # Its last entry pressed a few seconds ago: the song is over (or never started: a
            # refused MIDI file).
            if time.monotonic() - max(presses, default=started) > 4.0:
                self.counts["songs_through"] += bool(presses)
                return
            if self.rng.random() < 0.15:
                self.letters(3)
            if self.rng.random() < 0.15:
                self.midi(4)

    def take(self):
        p = self.program
        before = len(saved_recordings(p))
        begun = time.monotonic()
        p.key("7")
        self.letters_struck(self.rng.randint(3, 10))
        p.key("7")
        deadline = time.monotonic() + 30
        while len(saved_recordings(p)) == before:
            if time.monotonic() > deadline:
                raise AssertionError(f"'7' saved no take; stdout {p.stdout()!r}; "
                                     f"the program's log since the take began: {self.told_since(begun)}")
            time.sleep(0.2)
        self.counts["takes"] += 1
        if self.rng.random() < 0.5:
            p.key("5")  # the take played back
            time.sleep(2.0)

    def play_along(self):
        p = self.program
        p.key("9")
        p.key("5")
        for _ in range(self.rng.randint(5, 15)):
            self.tap(self.rng.choice(NOTE_LETTERS), self.rng.uniform(0.1, 0.3))
            time.sleep(self.rng.uniform(0.1, 0.5))
        # "9" goes right hand, left hand, both, off: left on, the takes after it were made with
        # a song waiting, its own notes taken for the letters' and the letters not struck.
        for _ in range(3):
            p.key("9")
        self.counts["play_along"] += 1

    def looks(self):
        p = self.program
        for _ in range(self.rng.randint(2, 6)):
            p.key(self.rng.choice(["space", "Tab", "plus", "minus", "8", "0"] + LIGHT_KEYS))
        self.letters(5, fast=True)
        for button in (1, 3):
            x, y = self.rng.randint(200, 1000), self.rng.randint(200, 800)
            p.drag(button, (x, y), (x + self.rng.randint(-300, 300), y + self.rng.randint(-300, 300)), steps=10)

    def windows(self):
        p = self.program
        p.display.run("xdotool", "windowunmap", "--sync", p.main)
        self.letters(2)  # to nowhere: the window is hidden
        time.sleep(self.rng.uniform(0.2, 1.0))
        p.display.run("xdotool", "windowmap", "--sync", p.main)
        p.focus()
        self.counts["hidden"] += 1
        shown = p.visible_windows("Help")
        if shown and self.rng.random() < 0.5:
            press_close_box(p.display, shown[0])
            self.counts["help_closed"] += 1
            time.sleep(0.5)
        p.key("F1")

    def restart_jack(self):
        """The JACK server stopped with notes held, and started again."""
        self.peer.send(0xB0, 64, 127)
        for note in (60, 64, 67):
            self.peer.send(0x90, note, 100)
        time.sleep(0.3)
        stopped = time.monotonic()
        self.peer.close()
        self.jack.close()
        self.wait_event("midi-lost", lambda d: True, stopped, 30)
        self.letters(4)
        time.sleep(1.0)
        started = time.monotonic()
        self.jack = JackServer()
        self.peer = Peer(self.jack)
        self.wait_event("midi-connect", lambda d: d == "midi-peer:out", started, 60)
        self.counts["restarts"] += 1

    def run(self):
        activities = [self.song, self.letters_and_chords, self.take, self.looks, self.midi_notes,
                      self.play_along, self.windows]
        while self.left() > 15:
            self.rng.choice(activities)()
            self.check_alive()
            if not self.counts["restarts"] and time.monotonic() > self.restart_at:
                self.restart_jack()
        # The way out: Escape with a take being recorded.
        p = self.program
        begun = time.monotonic()
        p.key("7")
        self.letters_struck(4)
        status = p.quit(timeout=120)
        if status != 0:
            raise AssertionError(f"the program ended with status {status}")
        if not p.stdout().rstrip("\n").split("\n")[-1].startswith("Saved the recording to "):
            raise AssertionError(f"Escape did not save the take being recorded: {p.stdout()!r}; "
                                 f"the program's log since the take began: {self.told_since(begun)}")

    def letters_and_chords(self):
        self.letters(self.rng.randint(5, 20), fast=self.rng.random() < 0.3)

    def midi_notes(self):
        self.midi(self.rng.randint(5, 25))

    def close(self):
        self.input.close()
        for part in (self.program, self.peer, self.jack):
            part.close()


def sanitizer_env(sanitizer, reports):
    """The program's sanitizer options: every report into its own file under `reports`."""
    log = f"log_path={reports}/report"
    if sanitizer == "address":
        # Mesa keeps memory to the end of the process where LeakSanitizer cannot name it (as
        # in scripts/test's sanitizer stage): leaks are not looked for here.
        return dict(ASAN_OPTIONS=f"{log}:detect_leaks=0:halt_on_error=1:abort_on_error=0",
                    UBSAN_OPTIONS=f"{log}:print_stacktrace=1:halt_on_error=1")
    if sanitizer == "thread":
        suppressions = SOURCE_DIR / "tests" / "e2e" / "tsan_suppressions.txt"
        return dict(TSAN_OPTIONS=f"{log}:suppressions={suppressions}:second_deadlock_stack=1:history_size=4")
    # A plain build: glibc's own checks of its heap, which abort on a corrupted chunk.
    return dict(MALLOC_CHECK_="3", MALLOC_PERTURB_="165")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("minutes", type=float)
    parser.add_argument("sanitizer", choices=["address", "thread", "plain"])
    parser.add_argument("--seed", type=int, default=None)
    args = parser.parse_args()
    seed = args.seed if args.seed is not None else int(time.time())
    program_dir = Path(os.environ["TINKLEWOOD_BUILD_DIR"])
    # A crash leaves its core behind, wherever the system puts cores.
    resource.setrlimit(resource.RLIMIT_CORE, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))
    reports = Path(tempfile.mkdtemp(prefix="tinklewood-soak-"))
    print(f"soak: {args.minutes:g} min under {args.sanitizer}, seed {seed}, reports in {reports}", flush=True)
    soak = None
    failure = None
    try:
        soak = Soak(program_dir, args.minutes, args.sanitizer, reports, seed)
        soak.run()
    except Exception as error:  # the run ends here, the reports below still read
        failure = f"{type(error).__name__}: {error}"
    finally:
        stderr = soak.program.stderr() if soak is not None else ""
        if soak is not None:
            soak.close()
    found = sorted(reports.glob("report*"))
    for report in found:
        print(f"--- {report.name}\n{report.read_text(errors='replace')}", file=sys.stderr)
    unexpected = [line for line in stderr.splitlines() if not line.startswith(EXPECTED_STDERR)]
    took = time.monotonic() - (soak.start if soak is not None else time.monotonic())
    print(f"soak: {took / 60:.1f} min, " + (", ".join(f"{k} {v}" for k, v in soak.counts.items()) if soak else ""),
          flush=True)
    if unexpected:
        print("soak: the program said on stderr:\n  " + "\n  ".join(unexpected), file=sys.stderr)
    if found:
        failure = failure or f"{len(found)} sanitizer report(s)"
    if unexpected and failure is None:
        failure = "unexpected lines on stderr"
    if failure:
        print(f"soak: FAILED: {failure}", file=sys.stderr)
        return 1
    shutil.rmtree(reports)
    print("soak: passed, no report", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
