"""How late OpenAL Soft's mixer gets behind the clock while the program plays with both cores
busy, at a given period: the check that a short period does not make the sound skip.

A sound card plays the mix out of a buffer of `periods` periods; the mixer skips (underruns) when
it delivers a period later than the periods still queued can cover, (periods - 1) x period. With
no sound card here, the wave writer stands in for one: it mixes a period whenever the wall clock
says one is due, into a pipe read here, so the time each period arrives against the time it was
due is the mixer's lateness. Eight float channels make a period (8 KB at 256 frames) go out in
writes of its own rather than sit in the writer's stdio buffer.

usage (from the build folder): python3 ../bench/mixer_lateness.py [--period 256] [--seconds 20]
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))
from support import Program  # noqa: E402

RATE = 44100
FRAME_BYTES = 8 * 4

# Reads the pipe to its end, writing the time and the byte count after each read.
READER = """
import os, sys, time
fd = os.open(sys.argv[1], os.O_RDONLY)
total, out = 0, []
while True:
    chunk = os.read(fd, 1 << 16)
    if not chunk:
        break
    total += len(chunk)
    out.append(f"{time.monotonic()} {total}")
open(sys.argv[2], "w").write("\\n".join(out))
"""


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--period", type=int, default=256)
    parser.add_argument("--periods", type=int, default=3)
    parser.add_argument("--seconds", type=float, default=20)
    parser.add_argument("--no-load", action="store_true", help="leave the cores to the program")
    parser.add_argument("--rt", action="store_true",
                        help="let OpenAL Soft raise its mixer to real-time priority, as it does where allowed")
    args = parser.parse_args()

    tmp = Path(tempfile.mkdtemp(prefix="tinklewood-lateness-"))
    fifo = tmp / "mix.wav"
    os.mkfifo(fifo)
    conf = tmp / "alsoft.conf"
    conf.write_text("[general]\ndrivers = wave\nchannels = surround71\nsample-type = float32\n"
                    f"frequency = {RATE}\nperiod_size = {args.period}\nperiods = {args.periods}\n"
                    # As a user without real-time rights runs it: OpenAL Soft asks for them, and
                    # gets them here only because the tests run as root.
                    f"rt-prio = {1 if args.rt else 0}\n"
                    f"[wave]\nfile = {fifo}\n")
    # The reader is a process of its own, raised above everything else, so that its own
    # lateness (which only adds to the figures) stays small.
    times = tmp / "arrivals.txt"
    reader = subprocess.Popen(["nice", "-n", "-15", sys.executable, "-c", READER, str(fifo), str(times)])
    burners = [] if args.no_load else [
        subprocess.Popen([sys.executable, "-c", "while True: pass"]) for _ in range(os.cpu_count() or 2)]
    try:
        with Program(sound="own", env={"ALSOFT_CONF": str(conf)}) as p:
            end = time.monotonic() + args.seconds
            letters = "sdfghjkl"
            i = 0
            while time.monotonic() < end:
                p.hold(letters[i % len(letters)], 0.3)
                p.hold("z", 0.3)
                i += 1
    finally:
        for b in burners:
            b.terminate()
            b.wait()
        reader.wait(10)
    arrivals = [tuple(float(v) for v in line.split()) for line in times.read_text().splitlines()]

    header = 80  # the WAVE_FORMAT_EXTENSIBLE header, at most; a period is far larger
    period_bytes = args.period * FRAME_BYTES
    due, seen = [], []
    k = 1
    for t, total in arrivals:
        while total - header >= k * period_bytes:
            due.append(k * args.period / RATE)
            seen.append(t)
            k += 1
    offsets = [s - d for s, d in zip(seen, due)]
    start = min(offsets)
    late = sorted(o - start for o in offsets[1:])
    budget = (args.periods - 1) * args.period / RATE
    over = sum(1 for x in late if x > budget)
    print(f"period {args.period} x {args.periods} ({1000 * args.period / RATE:.1f} ms, buffer "
          f"{1000 * args.periods * args.period / RATE:.1f} ms), mixer {'real-time' if args.rt else 'normal'} priority, "
          f"{len(late)} periods, load "
          f"{'none' if args.no_load else f'{len(burners)} busy loops'}")
    print(f"lateness ms: median {1000 * late[len(late) // 2]:.2f}, p99 {1000 * late[int(0.99 * len(late))]:.2f}, "
          f"max {1000 * late[-1]:.2f}; over the {1000 * budget:.1f} ms a device could cover: {over}")


if __name__ == "__main__":
    main()
