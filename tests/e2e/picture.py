"""What the screenshots say: the keys along a row, the hands, the background, the lights.

Coordinates are window pixels of the main window (1200 x 1000), x to the right, y down. The
regions below are those of the starting camera; every check that uses them first makes sure
the camera is back where it started.
"""

import subprocess

import numpy as np

from support import SOURCE_DIR

WIDTH, HEIGHT = 1200, 1000
# Rows across the black keys' back halves, behind the resting fingers.
KEY_ROWS = (435, 445, 455)
# Above the keyboard: only the background picture is drawn there.
BACKGROUND = (slice(0, 380), slice(0, WIDTH))
# The same without the band at the top left where a caption shows for a few seconds after a
# key that changes the song, the mode or the instrument.
BACKGROUND_BELOW_CAPTION = (slice(60, 380), slice(0, WIDTH))
# Where the resting hands lie (left hand on the left half, right hand on the right half).
LEFT_HAND = (slice(480, 940), slice(40, 600))
RIGHT_HAND = (slice(480, 940), slice(600, 1160))
# The whole keyboard with the hands on it.
KEYBOARD = (slice(380, 960), slice(0, WIDTH))

DARK = 35  # luminance below which a pixel belongs to a black key or an outline


def luminance(image):
    return image.astype(np.float64).mean(axis=2)


def runs(mask):
    """(value, start, length) of each run of equal values along a 1-D boolean array."""
    edges = np.flatnonzero(np.diff(mask.astype(np.int8))) + 1
    starts = np.concatenate([[0], edges])
    ends = np.concatenate([edges, [len(mask)]])
    return [(bool(mask[s]), int(s), int(e - s)) for s, e in zip(starts, ends)]


def keys_on_row(image, y):
    """The black keys and the white-key segments met along row y, left to right.

    Returns (black, white): black is a list of (start, width) of dark runs at least 20 px
    wide; white is a list of (start, width) of the light segments bounded by dark on both
    sides (black keys or outlines), from the segment left of the first black key to the one
    before the keyboard's right edge outline."""
    dark = luminance(image[y:y + 1])[0] < DARK
    pieces = runs(dark)
    black_indices = [i for i, (is_dark, _, width) in enumerate(pieces) if is_dark and width >= 20]
    if len(black_indices) < 2:
        return [], []
    black = [(pieces[i][1], pieces[i][2]) for i in black_indices]
    first, last = black_indices[0], black_indices[-1]
    inner = [(s, w) for is_dark, s, w in pieces[first:last + 1] if not is_dark and w >= 8]
    # Outside the black keys: the white keys reach to the keyboard's edge outlines; past
    # them lies the background. Take the light segments that are bounded by a dark outline
    # on their far side, as many as there are before the last outline.
    def outward(indices):
        found = []
        for i in indices:
            is_dark, s, w = pieces[i]
            if is_dark:
                if w >= 20:
                    break
                continue
            if w < 8:
                continue
            neighbour = i - 1 if indices[0] > indices[-1] else i + 1
            if 0 <= neighbour < len(pieces) and pieces[neighbour][0] and pieces[neighbour][2] < 20:
                found.append((s, w))
            else:
                break
        return found
    widths = [w for _, w in inner]
    typical = float(np.median(widths)) if widths else 0
    def plausible(segments):
        keep = []
        for s, w in segments:
            if typical and 0.4 * typical <= w <= 2.5 * typical:
                keep.append((s, w))
            else:
                break
        return keep
    left = plausible(outward(range(first - 1, -1, -1)))
    right = plausible(outward(range(last + 1, len(pieces))))
    return black, sorted(left) + inner + right


def hand_pixels(image, region):
    """How many pixels in region have the hands' colour: a warm, unsaturated brown (green
    above blue, red close to green), unlike the white and black keys and the red hall."""
    part = image[region].astype(np.int32)
    r, g, b = part[:, :, 0], part[:, :, 1], part[:, :, 2]
    return int(((g - b > 12) & (np.abs(r - g) < 45) & (r > 35)).sum())


def mean_difference(a, b, region=None):
    if region is not None:
        a, b = a[region], b[region]
    return float(np.abs(a.astype(np.int32) - b.astype(np.int32)).mean())


def changed_fraction(a, b, region=None, threshold=40):
    """The fraction of pixels whose colours differ by more than threshold (summed channels)."""
    if region is not None:
        a, b = a[region], b[region]
    return float((np.abs(a.astype(np.int32) - b.astype(np.int32)).sum(axis=2) > threshold).mean())


def coloured_pixels(image, region, channel, margin=80):
    """Pixels where one channel stands margin above both others: a red, green or blue light."""
    part = image[region].astype(np.int32)
    others = [c for c in range(3) if c != channel]
    return int(((part[:, :, channel] - part[:, :, others[0]] > margin) &
                (part[:, :, channel] - part[:, :, others[1]] > margin)).sum())


def background_picture(name, width=WIDTH, height=HEIGHT):
    """A background file stretched over the window, as the program shows it at full light."""
    ppm = subprocess.run(["convert", str(SOURCE_DIR / "res" / "backgrounds" / name),
                          "-resize", f"{width}x{height}!", "-depth", "8", "ppm:-"],
                         check=True, capture_output=True).stdout
    # Binary PPM: "P6\n<w> <h>\n255\n" then the pixels.
    fields = ppm.split(maxsplit=4)
    w, h = int(fields[1]), int(fields[2])
    return np.frombuffer(fields[4][:w * h * 3], dtype=np.uint8).reshape(h, w, 3).astype(np.int16)


def text_lines(image, background_tolerance=40):
    """Rows bands of a window that hold something other than its clear colour: the number of
    lines of text drawn, and the first and last row with ink."""
    clear = np.median(image.reshape(-1, 3), axis=0)
    ink = (np.abs(image.astype(np.int32) - clear).sum(axis=2) > background_tolerance).any(axis=1)
    bands = [r for r in runs(ink) if r[0]]
    return len(bands), (bands[0][1] if bands else None), (bands[-1][1] + bands[-1][2] if bands else None)
