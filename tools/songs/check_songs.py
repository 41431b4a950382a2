#!/usr/bin/env python3
"""Checks the song files the piano plays and lists them.

usage: check_songs.py [FOLDER]   (default: the repository's res/songs)

Each file is read by the program's own reader, through song-dump (built with the program;
TINKLEWOOD_SONG_DUMP names it, else the repository's build/song-dump is used). On top of what
the program accepts, the rules here are those of the shipped songs' arrangement. Prints one
line per file (title, mode, length, entries) and every rule a file breaks; exits with 1 if any
file breaks one.
"""
import json
import os
import re
import subprocess
import sys
from pathlib import Path

BEATS_PER_SECOND = 6        # a beat is 10 frames at 60 frames per second
SHORTEST = 2                # a 1-beat entry is over before the finger has come down
NAME = re.compile(r"[a-z0-9]+(_[a-z0-9]+)*\.song")
REPOSITORY = Path(__file__).resolve().parents[2]


def song_dump():
    return os.environ.get("TINKLEWOOD_SONG_DUMP", str(REPOSITORY / "build" / "song-dump"))


def read(path):
    """(the song as the program reads it, None) or (None, the program's line refusing it)."""
    done = subprocess.run([song_dump(), str(path)], capture_output=True, text=True, errors="replace")
    if done.returncode != 0:
        return None, done.stderr.strip() or f"song-dump ended with status {done.returncode}"
    return json.loads(done.stdout), None


def check(path):
    """Returns (the song as read, or None when the program refuses it; problems) for one file."""
    problems = []
    if not NAME.fullmatch(path.name):
        problems.append("file name is not lower-case words joined by underscores")
    song, refused = read(path)
    if song is None:
        return None, problems + [refused]
    for hand in ("right", "left"):
        for n, (beats, index) in enumerate(song[hand], 1):
            if beats < SHORTEST:
                problems.append(f"{hand} hand, entry {n}: {beats:g} beat, shorter than the {SHORTEST} "
                                f"a finger takes to come down")
            if index != int(index):
                problems.append(f"{hand} hand, entry {n}: index {index:g} is not a whole number")
    # The reader leaves words after the left hand unread, and takes a missing count for none.
    text = path.read_text(encoding="utf-8", errors="replace")
    extra = len(text.split()) - song["words"]
    if extra > 0:
        problems.append(f"{extra} word{'s' if extra > 1 else ''} after the last left-hand entry")
    elif extra < 0:
        problems.append("a hand's count is missing")
    lines = [line.strip() for line in text.splitlines() if line.strip()]
    if song["mode"] and lines[0] != song["mode"]:
        problems.append("the mode word is not alone on the first line")
    totals = [sum(beats for beats, _ in song[hand]) for hand in ("right", "left")]
    if song["mode"] and totals[0] != totals[1]:
        problems.append(f"the hands end apart: right {totals[0]:g} beats, left {totals[1]:g}")
    return song, problems


def main(argv):
    default = REPOSITORY / "res" / "songs"
    folder = Path(argv[1]) if len(argv) > 1 else default
    files = sorted(folder.glob("*.song"))
    if not files:
        print(f"no .song files in {folder}")
        return 1
    failed = 0
    for path in files:
        song, problems = check(path)
        if song is None:
            print(f"{path.name:40} refused")
        else:
            beats = max(sum(b for b, _ in song["right"]), sum(b for b, _ in song["left"]))
            print(f"{path.name:40} {song['title']:36} {song['mode'] or '-':5} "
                  f"{beats / BEATS_PER_SECOND:6.1f} s  {len(song['right'])}+{len(song['left'])} entries")
        for problem in problems:
            print(f"    {problem}")
        failed += bool(problems)
    if failed:
        print(f"{failed} of {len(files)} files break the rules")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
