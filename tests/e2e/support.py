"""Runs the real program under a virtual X display and watches it as a user would.

A Program is started from a working directory laid out like build/ (the resources at ../res),
is driven through the X server with xdotool (XTEST key and pointer events, as from a real
keyboard and mouse), and is observed three ways: screenshots with xwd, the sound through
OpenAL Soft's wave writer, and the times at which the window's picture changes (window_watch,
the DAMAGE extension) so that timing checks can be judged in frames actually drawn.

Clocks: every time here is time.monotonic() in seconds. The X server stamps its events with
the same clock in milliseconds; the capture is placed on it by watching the file grow.
"""

import bisect
import json
import os
import shutil
import signal
import struct
import subprocess
import tempfile
import threading
import time
import unittest
from pathlib import Path

import numpy as np

SOURCE_DIR = Path(os.environ.get("TINKLEWOOD_SOURCE_DIR", Path(__file__).resolve().parents[2]))
BUILD_DIR = Path(os.environ.get("TINKLEWOOD_BUILD_DIR", SOURCE_DIR / "build"))
WINDOW_WATCH = Path(os.environ.get("TINKLEWOOD_WINDOW_WATCH", BUILD_DIR / "window_watch"))
SONG_DUMP = Path(os.environ.get("TINKLEWOOD_SONG_DUMP", BUILD_DIR / "song-dump"))
PROGRAM = BUILD_DIR / "tinklewood"
E2E_DIR = Path(__file__).resolve().parent

MAIN_TITLE = "Tinklewood"
# With nothing moving the program draws nothing: this long without a frame, it is at rest.
RESTING_QUIET = 0.3
HELP_TITLE = "Help"
RATE = 44100
# How far behind the call capture() lets the file be, 46 ms: more than the writer's three periods
# of 256 frames that it may still owe when it keeps up (below), less than any stretch listened to.
CAPTURE_SLACK = 2 * 1024 / RATE


class VirtualDisplay:
    """A private Xvfb, so runs never share windows, focus or key state with anything else."""

    def __init__(self, width=1920, height=1200):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{width}x{height}x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    raise RuntimeError("Xvfb did not start")
                number += chunk
        self.name = ":" + number.decode().strip()
        self.env = dict(os.environ, DISPLAY=self.name)

    def run(self, *args, check=True):
        return subprocess.run([str(a) for a in args], env=self.env, check=check,
                              capture_output=True, text=True)

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def make_layout(root, drop=(), songs=None, only_songs=False):
    """A copy of the program's layout under root: root/build holds the binary, root/res the
    resources without the files in drop (paths relative to res/), with songs (name -> text)
    written into res/songs, and with only those songs if only_songs. Returns the working
    directory to start the program in."""
    root = Path(root)
    build = root / "build"
    build.mkdir(parents=True, exist_ok=True)
    shutil.copy2(PROGRAM, build / "tinklewood")
    res = root / "res"
    shutil.copytree(SOURCE_DIR / "res", res)
    for path in drop:
        (res / path).unlink()
    if only_songs:
        for shipped in (res / "songs").iterdir():
            shipped.unlink()
    for name, text in (songs or {}).items():
        (res / "songs" / name).write_text(text)
    return build


def read_song(path):
    """A song file as the program reads it, through its own reader (song-dump): "mode",
    "mode_changes", and "right" and "left" as [beats, letter index] each."""
    done = subprocess.run([str(SONG_DUMP), str(path)], capture_output=True, text=True)
    if done.returncode != 0:
        raise AssertionError(f"the program does not read {path}: {done.stderr.strip()}")
    return json.loads(done.stdout)


def song_text(right, left=()):
    """A song file for (duration, index) pairs of each hand."""
    lines = [str(len(right))] + [f"{d} {i}" for d, i in right]
    lines += [str(len(left))] + [f"{d} {i}" for d, i in left]
    return "\n".join(lines) + "\n"


class WindowWatch(threading.Thread):
    """Collects the times at which the main window's picture was updated and at which key
    events reached it."""

    def __init__(self, display, window):
        super().__init__(daemon=True)
        self.times = []   # frames
        self.keys = []    # (kind, time, keycode), kind "press" or "release"
        self.lock = threading.Lock()
        self.changed = threading.Condition(self.lock)
        self.process = subprocess.Popen([str(WINDOW_WATCH), str(window)], env=display.env,
                                        stdout=subprocess.PIPE, text=True)
        if self.process.stdout.readline().strip() != "ready":
            raise RuntimeError("window_watch did not start")
        self.start()

    def run(self):
        for line in self.process.stdout:
            fields = line.split()
            server_ms = int(fields[1])
            # Unwrap the server's 32-bit millisecond count against our own reading of the
            # same clock: the event is at most a few seconds old.
            now_ms = int(time.monotonic() * 1000)
            stamp = (now_ms - ((now_ms - server_ms) % (1 << 32))) / 1000.0
            with self.changed:
                if fields[0] == "frame":
                    self.times.append(stamp)
                else:
                    self.keys.append((fields[0], stamp, int(fields[2])))
                self.changed.notify_all()

    def between(self, start, end):
        with self.lock:
            return [t for t in self.times if start <= t <= end]

    def count(self):
        with self.lock:
            return len(self.times)

    def key_count(self):
        with self.lock:
            return len(self.keys)

    def wait_key(self, kind, after_index, timeout=10):
        """The time of the first key event of kind after the first after_index events."""
        deadline = time.monotonic() + timeout
        with self.changed:
            while True:
                for event in self.keys[after_index:]:
                    if event[0] == kind:
                        return event[1]
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    raise AssertionError(f"no key {kind} reached the window")
                self.changed.wait(remaining)

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait()
        self.join(timeout=5)  # the reader ends with the pipe; then the pipe can be closed
        self.process.stdout.close()


class CaptureClock(threading.Thread):
    """Places the wave writer's output on the monotonic clock.

    The writer mixes one period whenever the wall clock says it is due, so the file holds at
    most as many frames as have elapsed since the device started. Watching the file grow,
    the smallest (time - frames written / rate) is the device's start, to within the polling
    interval and the writer's own lateness. Each reading is kept, so that it can also say how
    far behind the writer was at a given moment (see behind_at)."""

    def __init__(self, path):
        super().__init__(daemon=True)
        self.path = Path(path)
        self.start_time = None
        self.readings = []  # (time, frames written by then), in time order
        self.lock = threading.Lock()
        self.data_offset = None
        self.frame_bytes = 4
        self.stop_flag = threading.Event()
        self.start()

    def run(self):
        best = None
        while not self.stop_flag.is_set():
            now = time.monotonic()
            try:
                size = self.path.stat().st_size
            except FileNotFoundError:
                size = 0
            if self.data_offset is None and size > 0:
                self.data_offset = _data_offset(self.path)
            if self.data_offset is not None and size > self.data_offset:
                frames = (size - self.data_offset) // self.frame_bytes
                with self.lock:
                    self.readings.append((now, frames))
                estimate = now - frames / RATE
                if best is None or estimate < best:
                    best = estimate
                    self.start_time = best
            time.sleep(0.002)

    def behind_at(self, t):
        """How many seconds of sound the writer still owed at time t: 0 when it kept up, more
        when another program held the cores. Judged from a reading taken at most 20 ms before t
        (the file holds at least what it held then); without one, 0."""
        with self.lock:
            index = bisect.bisect_right(self.readings, (t, float("inf"))) - 1
            if index < 0 or self.start_time is None:
                return 0.0
            seen, frames = self.readings[index]
        if t - seen > 0.02:
            return 0.0
        return max(0.0, (t - self.start_time) - frames / RATE)

    def close(self):
        self.stop_flag.set()
        self.join()


def _data_offset(path):
    header = path.read_bytes()[:256]
    position = 12
    while position + 8 <= len(header):
        chunk, size = header[position:position + 4], struct.unpack("<I", header[position + 4:position + 8])[0]
        if chunk == b"data":
            return position + 8
        position += 8 + size + (size & 1)
    return None


def read_wav(path):
    """The capture as mono floats in -1..1. The header sizes are only written when the device
    closes; a file whose program was killed is read to its end."""
    data = Path(path).read_bytes()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise ValueError(f"{path} is not a WAVE file")
    position, channels, bits = 12, None, None
    while position + 8 <= len(data):
        chunk, size = data[position:position + 4], struct.unpack("<I", data[position + 4:position + 8])[0]
        body = position + 8
        if chunk == b"fmt ":
            _, channels, rate, _, _, bits = struct.unpack("<HHIIHH", data[body:body + 16])
            if rate != RATE or bits != 16:
                raise ValueError(f"{path}: expected {RATE} Hz 16-bit, got {rate} Hz {bits}-bit")
        elif chunk == b"data":
            end = len(data) if size == 0xFFFFFFFF or body + size > len(data) else body + size
            count = (end - body) // (2 * channels)
            samples = np.frombuffer(data[body:body + count * 2 * channels], dtype="<i2")
            return samples.reshape(-1, channels).astype(np.float64).mean(axis=1) / 32768.0
        position = body + size + (size & 1)
    raise ValueError(f"{path} has no data chunk")


def read_xwd(data):
    """An xwd dump of a 24-bit TrueColor window as an (height, width, 3) RGB array."""
    fields = struct.unpack(">25I", data[:100])
    header_size, width, height = fields[0], fields[4], fields[5]
    byte_order, bits_per_pixel, bytes_per_line, colours = fields[7], fields[11], fields[12], fields[19]
    if bits_per_pixel != 32:
        raise ValueError(f"unexpected xwd depth {bits_per_pixel}")
    offset = header_size + colours * 12
    raw = np.frombuffer(data[offset:offset + bytes_per_line * height], dtype=np.uint8)
    pixels = raw.reshape(height, bytes_per_line)[:, :width * 4].reshape(height, width, 4)
    if byte_order == 0:  # least significant byte first: blue, green, red, pad
        return pixels[:, :, 2::-1].astype(np.int16)
    return pixels[:, :, 1:4].astype(np.int16)


class Program:
    """One run of the real program in its own virtual display.

    sound: "capture" (wave writer into a file), "none" (no usable driver), or "own" (OpenAL
    Soft left to its config files and the program's own, as a user runs it).
    program: the binary to start, by default the one in workdir; args: its command line."""

    def __init__(self, workdir=None, sound="capture", env=None, display=None, program=None, args=()):
        self.tmp = tempfile.TemporaryDirectory(prefix="tinklewood-e2e-")
        self.tmpdir = Path(self.tmp.name)
        self.workdir = Path(workdir) if workdir else BUILD_DIR
        self.own_display = display is None
        self.display = display or VirtualDisplay()
        self.capture_path = self.tmpdir / "capture.wav"
        self.stdout_path = self.tmpdir / "stdout.txt"
        self.stderr_path = self.tmpdir / "stderr.txt"
        self.events_path = self.tmpdir / "events.txt"
        self._events, self._events_read, self._events_lock = [], 0, threading.Lock()
        # The user's own folders (songs added, recordings saved, settings kept) are the run's
        # own, never the account's: a test finds there only what it put there, and a run starts
        # with the first settings unless the test hands it a config folder (env).
        self.data_home = self.tmpdir / "data"
        # So are its SoundFonts: a General MIDI SoundFont a package put on this machine is not
        # one of Space's instruments here.
        run_env = dict(self.display.env, TINKLEWOOD_EVENT_LOG=str(self.events_path),
                       XDG_DATA_HOME=str(self.data_home), TINKLEWOOD_SYSTEM_SOUNDFONTS="",
                       XDG_CONFIG_HOME=str(self.tmpdir / "config"))
        if sound == "capture":
            conf = self.tmpdir / "alsoft.conf"
            # A short period places each sound on the capture's time line to 6 ms.
            conf.write_text(
                "[general]\ndrivers = wave\nchannels = stereo\nsample-type = int16\n"
                "frequency = 44100\nperiod_size = 256\nperiods = 3\ndither = false\n"
                f"[wave]\nfile = {self.capture_path}\n")
            run_env["ALSOFT_CONF"] = str(conf)
        elif sound == "none":
            run_env["ALSOFT_DRIVERS"] = "nonexistent"
            run_env.pop("ALSOFT_CONF", None)
        elif sound == "own":
            run_env.pop("ALSOFT_DRIVERS", None)
            run_env.pop("ALSOFT_CONF", None)
        run_env.update(env or {})
        self.sound = sound
        self.frames = None
        self.pointer = None
        self.capture_clock = CaptureClock(self.capture_path) if sound == "capture" else None
        self.started_at = time.monotonic()
        self.outputs = (open(self.stdout_path, "wb"), open(self.stderr_path, "wb"))
        self.process = subprocess.Popen(
            [str(program or self.workdir / "tinklewood"), *args], cwd=self.workdir, env=run_env,
            stdout=self.outputs[0], stderr=self.outputs[1])
        try:
            self.main = self._wait_for_window(MAIN_TITLE)
            self.help = self._wait_for_window(HELP_TITLE)
            self.frames = WindowWatch(self.display, self.main)
            self.focus()
            # The first picture: drawn once the windows show, perhaps before the watch began;
            # the program then comes to rest, or goes on drawing if something moves.
            deadline = time.monotonic() + 60
            while not any(kind == "rest" for kind, _, _ in self.events("rest")) and self.frames.count() == 0:
                if time.monotonic() > deadline or not self.alive():
                    raise RuntimeError("the program drew no picture")
                time.sleep(0.02)
            self.wait_frames(3, timeout=60)
            if self.capture_clock is not None:
                deadline = time.monotonic() + 30
                while self.capture_clock.start_time is None:
                    if time.monotonic() > deadline:
                        raise RuntimeError("the sound capture never started")
                    time.sleep(0.05)
        except Exception:
            self.close()
            raise

    # --- lifetime -------------------------------------------------------------------------

    def _wait_for_window(self, title, timeout=60):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError(f"the program ended with status {self.process.returncode} before "
                                   f"showing its windows; stderr: {self.stderr()}")
            found = self.display.run("xdotool", "search", "--onlyvisible", "--name", f"^{title}$",
                                     check=False).stdout.split()
            if found:
                return int(found[0])
            time.sleep(0.1)
        raise RuntimeError(f'no window titled "{title}" appeared')

    def alive(self):
        return self.process.poll() is None

    def visible_windows(self, title):
        """The shown windows titled exactly so."""
        return [int(w) for w in self.display.run("xdotool", "search", "--onlyvisible", "--name", f"^{title}$",
                                                  check=False).stdout.split()]

    def wait_exit(self, timeout=15):
        """The program's exit status once it has ended by itself; None if it is still running."""
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def quit(self, timeout=15):
        """Escape, as the user ends the program; returns its exit status."""
        self._xdotool("keydown", "Escape")
        self._xdotool("keyup", "Escape")
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def close(self):
        if self.pointer is not None:
            self.pointer.close()
        if self.frames is not None:
            self.frames.close()
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        if self.capture_clock is not None:
            self.capture_clock.close()
        for output in self.outputs:
            output.close()
        if self.own_display:
            self.display.close()
        self._keep()
        self.tmp.cleanup()

    def _keep(self):
        """With TINKLEWOOD_E2E_KEEP set to a folder, the run's capture, event log, output and
        the capture's placement on the clock are kept there, one folder a run, for a failure
        to be looked into afterwards."""
        keep = os.environ.get("TINKLEWOOD_E2E_KEEP")
        if not keep:
            return
        folder = Path(keep) / time.strftime(f"%Y%m%d-%H%M%S-{self.process.pid}")
        folder.mkdir(parents=True, exist_ok=True)
        for path in (self.capture_path, self.events_path, self.stdout_path, self.stderr_path):
            if path.exists():
                shutil.copy2(path, folder / path.name)
        if self.capture_clock is not None:
            with self.capture_clock.lock:
                readings = list(self.capture_clock.readings)
            (folder / "capture_clock.json").write_text(json.dumps(
                {"start_time": self.capture_clock.start_time, "readings": readings}))

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    # --- input ----------------------------------------------------------------------------

    def focus(self):
        # No window manager: the pointer goes over the window and the focus is set directly.
        # xdotool's --sync waits for the pointer to move, about 15 s when it is there already.
        if self.display.run("xdotool", "getmouselocation").stdout.split()[:2] != ["x:650", "y:550"]:
            self.display.run("xdotool", "mousemove", "--sync", 650, 550)
        self.display.run("xdotool", "windowfocus", "--sync", self.main)

    def _xdotool(self, *args):
        self.display.run("xdotool", *args)

    def keydown(self, key):
        """Presses key; returns the X server's time at which the press reached the window."""
        seen = self.frames.key_count()
        self._xdotool("keydown", key)
        return self.frames.wait_key("press", seen)

    def keyup(self, key):
        seen = self.frames.key_count()
        self._xdotool("keyup", key)
        return self.frames.wait_key("release", seen)

    def key(self, key, times=1):
        """Taps key, and lets the program take the release before anything else comes.
        freeglut drops a release that it reads while the X server says the key is down (it
        takes it for key repeat) and the press after it: a second tap of the same key that
        arrives before the program has read the first release would vanish."""
        for _ in range(times):
            self.keydown(key)
            released = self.keyup(key)
            self.frames_from(released, 1)

    def hold(self, key, seconds):
        """Holds key for seconds; returns the times at which the press and the release reached
        the window."""
        down = self.keydown(key)
        time.sleep(max(0.0, seconds - (time.monotonic() - down)))
        return down, self.keyup(key)

    def drag(self, button, start, end, steps=20):
        """A drag with the given button (1 left, 3 right) in window pixels, sent through XTEST
        on a connection of the test's own: an xdotool process a step took longer than the
        drag. The events of one connection reach the program in the order sent."""
        if self.pointer is None:
            self.pointer = FastInput(self.display, self.main)
        x0, y0 = start
        x1, y1 = end
        self.pointer.move(x0, y0)
        self.pointer.button(button, True)
        for i in range(1, steps + 1):
            self.pointer.move(round(x0 + (x1 - x0) * i / steps), round(y0 + (y1 - y0) * i / steps))
            time.sleep(0.01)
        self.pointer.button(button, False)

    # --- observation ----------------------------------------------------------------------

    def shot(self, window=None):
        dump = subprocess.run(["xwd", "-silent", "-id", str(window or self.main)],
                              env=self.display.env, check=True, capture_output=True).stdout
        return read_xwd(dump)

    def settled_shot(self, frames=3, timeout=30):
        """A screenshot taken only after the program has drawn a few more frames, or has come
        to rest with nothing more to draw."""
        self.wait_frames(frames, timeout)
        return self.shot()

    def resting_since(self, since):
        """Whether the program is at rest: nothing drawn for a while since `since`, and its
        frame loop's last word that it came to rest. The program draws no frames while nothing
        moves, so at rest there are none to wait for; the quiet spell lets input still on its
        way (a drag's last moves) be drawn first. A loop whose last word is a frame is not at
        rest however long ago that was: the program, or the whole machine, stalled."""
        last = self.last_loop_word()
        quiet_since = max([since] + self.frames.between(since - 60, time.monotonic()))
        return time.monotonic() - quiet_since > RESTING_QUIET and last is not None and last[0] == "rest"

    def last_loop_word(self):
        """The frame loop's last word, ("frame" or "rest", time), or None before its first."""
        return next(((kind, t) for kind, t, _ in reversed(self.events()) if kind in ("frame", "rest")), None)

    def loop_state(self):
        """Where the frame loop stands, for a failure message."""
        now = time.monotonic()
        last = self.last_loop_word()
        with self.frames.lock:
            drawn = self.frames.times[-1:] or [float("nan")]
        said = f"its last word '{last[0]}' {now - last[1]:.2f} s ago" if last else "no word from its loop"
        return f"{said}, last frame seen {now - drawn[0]:.2f} s ago"

    def wait_frames(self, count, timeout=30, or_rest=True):
        """Waits until count more frames have been drawn, or the program has come to rest;
        returns the times of the frames drawn meanwhile."""
        start = self.frames.count()
        since = time.monotonic()
        deadline = since + timeout
        while self.frames.count() < start + count and not (or_rest and self.resting_since(since)):
            if time.monotonic() > deadline:
                raise AssertionError(f"the program drew fewer than {count} frames in {timeout} s; "
                                     f"{self.loop_state()}")
            if not self.alive():
                raise AssertionError(f"the program ended (status {self.process.returncode})")
            time.sleep(0.01)
        with self.frames.lock:
            return self.frames.times[start:start + count]

    def frame_interval(self, start, end):
        """The median and the 90th percentile of the frame intervals between two times."""
        times = self.frames.between(start, end)
        if len(times) < 3:
            raise AssertionError(f"only {len(times)} frames were drawn in {end - start:.1f} s")
        gaps = np.diff(times)
        return float(np.median(gaps)), float(np.percentile(gaps, 90))

    def window_geometry(self, window):
        out = self.display.run("xdotool", "getwindowgeometry", window).stdout
        position = out.split("Position:")[1].split()[0]
        size = out.split("Geometry:")[1].split()[0]
        x, y = (int(v) for v in position.split(","))
        w, h = (int(v) for v in size.split("x"))
        return x, y, w, h

    def window_name(self, window):
        return self.display.run("xdotool", "getwindowname", window).stdout.strip()

    def rss_kib(self):
        for line in Path(f"/proc/{self.process.pid}/status").read_text().splitlines():
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
        raise AssertionError("no VmRSS for the program")

    def stdout(self):
        return self.stdout_path.read_bytes().decode(errors="replace")

    def stderr(self):
        return self.stderr_path.read_bytes().decode(errors="replace")

    def events(self, kind=None):
        """What the program logged it did, as (kind, time, detail) on our clock, in order;
        only those of one kind if given."""
        # Read on from where the last call stopped: the log gains a line a frame, and polling
        # loops ask many times a second.
        with self._events_lock:
            try:
                with open(self.events_path, "rb") as log:
                    log.seek(self._events_read)
                    new = log.read()
            except FileNotFoundError:
                return []
            complete = new[:new.rfind(b"\n") + 1]  # a line still being written waits for the next call
            self._events_read += len(complete)
            for line in complete.decode().splitlines():
                fields = line.split(" ", 2)
                if len(fields) >= 2:
                    self._events.append((fields[0], float(fields[1]), fields[2] if len(fields) > 2 else ""))
            found = list(self._events)
        return [e for e in found if kind is None or e[0] == kind]

    def logged_frames(self, start=None, end=None):
        """The times of the frame steps the program ran, between start and end if given."""
        return [t for _, t, _ in self.events("frame")
                if (start is None or t >= start) and (end is None or t <= end)]

    def capture(self, timeout=10):
        """The sound so far as mono samples; index 0 is at self.audio_zero() on our clock.

        The wave writer mixes on the program's own thread: with the machine busy it falls
        behind and catches up later, and a stretch just heard may not be in the file yet.
        So the file is read once it holds the sound up to CAPTURE_SLACK before this call
        (or the program has ended, or timeout seconds have passed)."""
        zero = self.audio_zero()
        wanted = (time.monotonic() - CAPTURE_SLACK - zero) * RATE if zero is not None else 0
        deadline = time.monotonic() + timeout
        while wanted > 0 and time.monotonic() < deadline and self.alive():
            with self.capture_clock.lock:
                written = self.capture_clock.readings[-1][1] if self.capture_clock.readings else 0
            if written >= wanted:
                break
            time.sleep(0.02)
        return read_wav(self.capture_path)

    def audio_zero(self):
        return self.capture_clock.start_time

    def audio_behind(self, t):
        """How far behind the wave writer was at t (CaptureClock.behind_at)."""
        return self.capture_clock.behind_at(t)

    def audio_index(self, t):
        return int(round((t - self.audio_zero()) * RATE))

    # --- timing in frames -----------------------------------------------------------------

    def frames_from(self, t, count, timeout=30):
        """The times of the first count frames drawn at or after t (waiting for them), or of
        those drawn before the program came to rest after t."""
        deadline = time.monotonic() + timeout
        while True:
            with self.frames.lock:
                later = [f for f in self.frames.times if f >= t]
            if len(later) >= count or self.resting_since(t):
                return later[:count]
            if not self.alive():
                raise AssertionError(f"the program ended (status {self.process.returncode})")
            if time.monotonic() > deadline:
                raise AssertionError(f"fewer than {count} frames were drawn after the event ({len(later)}); "
                                     f"{self.loop_state()}")
            time.sleep(0.02)

    def stroke_frame(self, event, stroke_time):
        """When the program acts on a stroke that an event started: the event is handled after
        the frame that is being drawn when it arrives, and each frame step runs right after
        the previous frame was shown; the first step whose stroke clock has passed stroke_time
        is the one that acts. Returns the time of that step."""
        frames = self.frames_from(event, 40)
        handled = frames[0]
        for frame in frames[1:]:
            if frame - handled > stroke_time:
                return frame
        raise AssertionError("the stroke never reached its time")


class FastInput:
    """Key and pointer events sent straight through the XTEST extension, as xdotool sends
    them, without starting a process per event: a storm needs thousands a minute."""

    def __init__(self, display, window):
        import ctypes
        import ctypes.util
        self.ctypes = ctypes
        self.x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        self.xtst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XStringToKeysym.restype = ctypes.c_ulong
        self.x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
        self.x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x11.XFlush.argtypes = [ctypes.c_void_p]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int,
                                                   ctypes.c_ulong]
        self.handle = self.x11.XOpenDisplay(display.name.encode())
        if not self.handle:
            raise RuntimeError("cannot open the display for XTEST")
        self.origin = (50, 50)  # the main window's place on the screen

    def keycode(self, name):
        code = self.x11.XKeysymToKeycode(self.handle, self.x11.XStringToKeysym(name.encode()))
        if code == 0:
            raise ValueError(f"no key for {name}")
        return code

    def key(self, code, down):
        self.xtst.XTestFakeKeyEvent(self.handle, code, 1 if down else 0, 0)
        self.x11.XFlush(self.handle)

    def button(self, number, down):
        self.xtst.XTestFakeButtonEvent(self.handle, number, 1 if down else 0, 0)
        self.x11.XFlush(self.handle)

    def move(self, x, y):
        """Moves the pointer to window pixel (x, y)."""
        self.xtst.XTestFakeMotionEvent(self.handle, 0, self.origin[0] + x, self.origin[1] + y, 0)
        self.x11.XFlush(self.handle)

    def close(self):
        self.x11.XCloseDisplay(self.handle)


def press_close_box(display, window):
    """A window's close box, as a window manager presses it: WM_DELETE_WINDOW sent to the
    client that made the window, which then decides what closing means (xdotool's windowclose
    would destroy the window from outside instead)."""
    import ctypes
    import ctypes.util

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                    ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                    ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]

    class Event(ctypes.Union):
        _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]

    x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    x11.XOpenDisplay.restype, x11.XOpenDisplay.argtypes = ctypes.c_void_p, [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    handle = x11.XOpenDisplay(display.name.encode())
    if not handle:
        raise RuntimeError(f"cannot open {display.name}")
    event = Event()
    event.xclient.type = 33  # ClientMessage
    event.xclient.window = window
    event.xclient.message_type = x11.XInternAtom(handle, b"WM_PROTOCOLS", 0)
    event.xclient.format = 32
    event.xclient.data[0] = x11.XInternAtom(handle, b"WM_DELETE_WINDOW", 0)
    x11.XSendEvent(handle, window, 0, 0, ctypes.byref(event))  # no event mask: to its maker
    x11.XCloseDisplay(handle)  # sends it, and waits until the server has


def saved_recordings(program):
    """The recordings a run saved in its user folder, oldest first."""
    folder = program.data_home / "tinklewood" / "songs"
    return sorted(folder.glob("recording_*.song")) if folder.is_dir() else []


class OneProgramTest(unittest.TestCase):
    """Tests taken in order through one run of the program: self.program, and self.rest, its
    settled picture when it started."""

    @classmethod
    def setUpClass(cls):
        cls.program = Program()
        cls.rest = cls.program.settled_shot()

    @classmethod
    def tearDownClass(cls):
        cls.program.close()
