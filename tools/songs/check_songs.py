#!/usr/bin/env python3
"""Checks the song files the piano plays and lists them.

usage: check_songs.py [FOLDER]   (default: the repository's res/songs)

Prints one line per file (title, mode, length, entries) and every rule a file breaks;
exits with 1 if any file breaks one.
"""
import re
import sys
from pathlib import Path

BEATS_PER_SECOND = 6        # a beat is 10 frames at 60 frames per second
SHORTEST = 2                # a 1-beat entry is over before the finger has come down
NOTE_KEYS = 13              # "sdfghjkl" + "eryui"
CHORD_KEYS = 5              # "zxcvb"
MODES = ("major", "minor")
SMALL_WORDS = {"to", "the", "a", "of", "de", "la", "in"}
NAME = re.compile(r"[a-z0-9]+(_[a-z0-9]+)*\.song")


def title_of(path):
    words = path.stem.split("_")
    last = len(words) - 1
    return " ".join(w if w in SMALL_WORDS and 0 < i < last else w.capitalize()
                    for i, w in enumerate(words))


def read_hand(tokens, pos, hand, keys, problems, mode_words=False):
    """Reads one hand's count and entries from tokens[pos:]; returns (entries, next pos),
    the position None where the file can no longer be read. With mode_words, a mode word may
    stand before an entry (the left hand's chords after a mode change)."""
    if pos >= len(tokens):
        problems.append(f"{hand} hand: the count is missing")
        return [], pos
    if not tokens[pos].isdigit():
        problems.append(f"{hand} hand: count {tokens[pos]!r} is not a whole number")
        return [], None
    count, pos = int(tokens[pos]), pos + 1
    entries = []
    for n in range(1, count + 1):
        if mode_words and pos < len(tokens) and tokens[pos] in MODES:
            pos += 1
        if pos + 1 >= len(tokens):
            problems.append(f"{hand} hand: {count} entries announced, the file ends after {n - 1}")
            return entries, None
        pair, pos = tokens[pos:pos + 2], pos + 2
        try:
            duration, index = (float(t) for t in pair)
        except ValueError:
            problems.append(f"{hand} hand, entry {n}: {' '.join(pair)!r} is not two numbers")
            continue
        if not duration.is_integer() or duration < SHORTEST:
            problems.append(f"{hand} hand, entry {n}: duration {pair[0]} is not a whole "
                            f"number of at least {SHORTEST} beats")
        if not index.is_integer() or not 0 <= index < keys:
            problems.append(f"{hand} hand, entry {n}: index {pair[1]} is not one of 0..{keys - 1}")
        entries.append((duration, index))
    return entries, pos


def check(path):
    """Returns (mode or None, right entries, left entries, problems) for one file."""
    problems = []
    if not NAME.fullmatch(path.name):
        problems.append("file name is not lower-case words joined by underscores")
    text = path.read_text(encoding="utf-8", errors="replace")
    lines = [line.strip() for line in text.splitlines() if line.strip()]
    mode = lines[0] if lines and lines[0] in MODES else None
    tokens = text.split()[1 if mode else 0:]
    right, pos = read_hand(tokens, 0, "right", NOTE_KEYS, problems)
    left = []
    if pos is not None:
        left, pos = read_hand(tokens, pos, "left", CHORD_KEYS, problems, mode_words=True)
    if pos is not None and pos < len(tokens):
        extra = len(tokens) - pos
        problems.append(f"{extra} word{'s' if extra > 1 else ''} after the last left-hand entry")
    totals = [sum(d for d, _ in hand) for hand in (right, left)]
    if mode and pos is not None and totals[0] != totals[1]:
        problems.append(f"the hands end apart: right {totals[0]:g} beats, left {totals[1]:g}")
    return mode, right, left, problems


def main(argv):
    default = Path(__file__).resolve().parents[2] / "res" / "songs"
    folder = Path(argv[1]) if len(argv) > 1 else default
    files = sorted(folder.glob("*.song"))
    if not files:
        print(f"no .song files in {folder}")
        return 1
    failed = 0
    for path in files:
        mode, right, left, problems = check(path)
        beats = max(sum(d for d, _ in right), sum(d for d, _ in left))
        print(f"{path.name:40} {title_of(path):36} {mode or '-':5} "
              f"{beats / BEATS_PER_SECOND:6.1f} s  {len(right)}+{len(left)} entries")
        for problem in problems:
            print(f"    {problem}")
        failed += bool(problems)
    if failed:
        print(f"{failed} of {len(files)} files break the rules")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
