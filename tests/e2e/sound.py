"""What the capture says: when sounds start and stop, and which pitches they hold.

Onsets and ends come from the level of the signal in 5 ms steps. Pitches are judged against
the notes the keyboard can sound: a note's salience sums its first partials (each taken as the
strongest bin within a quarter tone of where it should be, later partials weighted less), so
a note an octave off loses to the true one, which owns more of the partials.
"""

import ctypes
import ctypes.util

import numpy as np

from support import RATE

HOP = 0.005  # seconds per level step
# Where a sample is heard in the capture against the moment the program started it. The wave
# writer mixes a period (256 frames, 5.8 ms, in the suite's configuration) once it is due, so a
# sound lands in the next period or the one after; but when the writer falls behind (another
# program taking the cores) it mixes the periods it owes in one go, and a sound started during
# the lag lands in periods already past: heard up to the lag early (see heard_window).
PERIOD = 256 / 44100
HEARD_EARLY = 0.03
HEARD_LATE = 2 * PERIOD + 0.015
SILENCE = 0.003  # level (RMS of full scale 1.0) below which nothing is heard
QUANTUM = 1 / 32768  # the 16-bit capture's least step, full scale 1.0


def midi_hz(midi):
    # Equal temperament, A4 (MIDI 69) = 440 Hz.
    return 440.0 * 2.0 ** ((midi - 69) / 12.0)


def level(samples, hop=HOP):
    """RMS per step of hop seconds."""
    size = int(RATE * hop)
    count = len(samples) // size
    frames = samples[:count * size].reshape(count, size)
    return np.sqrt((frames ** 2).mean(axis=1))


def band(samples, low=None, high=None):
    """The samples with everything outside low..high Hz removed."""
    spectrum = np.fft.rfft(samples)
    freqs = np.fft.rfftfreq(len(samples), 1.0 / RATE)
    if low is not None:
        spectrum[freqs < low] = 0
    if high is not None:
        spectrum[freqs > high] = 0
    return np.fft.irfft(spectrum, len(samples))


def sounding_spans(levels, threshold, min_gap=0.02, min_length=0.03, hop=HOP):
    """(start, end) in seconds of the stretches where the level is above threshold; gaps
    shorter than min_gap are bridged, stretches shorter than min_length (a click) dropped."""
    above = levels > threshold
    spans = []
    index = 0
    while index < len(above):
        if not above[index]:
            index += 1
            continue
        start = index
        while index < len(above) and above[index]:
            index += 1
        spans.append([start, index])
    merged = []
    for span in spans:
        if merged and (span[0] - merged[-1][1]) * hop < min_gap:
            merged[-1][1] = span[1]
        else:
            merged.append(span)
    return [(s * hop, e * hop) for s, e in merged if (e - s) * hop >= min_length]


def spectrum(samples, start, length):
    """Magnitude spectrum of samples[start:start+length seconds] with a Hann window, zero
    padded so that bins are 0.5 Hz apart."""
    first = int(start * RATE)
    piece = samples[first:first + int(length * RATE)]
    if len(piece) < int(0.05 * RATE):
        raise AssertionError("too little sound to judge its pitch")
    size = 1 << int(np.ceil(np.log2(2 * RATE)))
    windowed = piece * np.hanning(len(piece))
    return np.abs(np.fft.rfft(windowed, size)), RATE / size


def strength(magnitudes, bin_hz, freq, cents=50):
    """The strongest bin within cents of freq."""
    low = int(np.floor(freq * 2 ** (-cents / 1200) / bin_hz))
    high = int(np.ceil(freq * 2 ** (cents / 1200) / bin_hz)) + 1
    return float(magnitudes[low:high].max())


def salience(magnitudes, bin_hz, midi, partials=5):
    return sum(0.8 ** h * strength(magnitudes, bin_hz, midi_hz(midi) * (h + 1)) for h in range(partials))


def strongest_note(samples, start, length, candidates=range(43, 89)):
    """The candidate MIDI note that best explains the sound in the given stretch."""
    magnitudes, bin_hz = spectrum(samples, start, length)
    scores = {m: salience(magnitudes, bin_hz, m) for m in candidates}
    return max(scores, key=scores.get), scores


def fundamental_hz(samples, start, length, midi):
    """The frequency of the strongest peak within a quarter tone of the note's fundamental, found
    between the 0.5 Hz bins by a parabola through the log magnitudes of the three around it: a
    note's tuning judged on its fundamental's own peak, which a whole-spectrum estimate pulls
    sharp on a piano's stretched partials."""
    magnitudes, bin_hz = spectrum(samples, start, length)
    low = int(np.floor(midi_hz(midi) * 2 ** (-50 / 1200) / bin_hz))
    high = int(np.ceil(midi_hz(midi) * 2 ** (50 / 1200) / bin_hz)) + 1
    peak = low + int(np.argmax(magnitudes[low:high]))
    a, b, c = np.log(magnitudes[peak - 1:peak + 2] + 1e-12)
    offset = 0.5 * (a - c) / (a - 2 * b + c) if a - 2 * b + c < 0 else 0.0
    return (peak + offset) * bin_hz


def fundamentals(samples, start, length, candidates):
    """Strength of each candidate note's fundamental, as a fraction of the strongest."""
    magnitudes, bin_hz = spectrum(samples, start, length)
    values = {m: strength(magnitudes, bin_hz, midi_hz(m), cents=40) for m in candidates}
    top = max(values.values())
    return {m: v / top for m, v in values.items()}


def similarity(captured, reference):
    """Normalised correlation of two equally long pieces: 1 for the same waveform at any
    level, near 0 for unrelated sounds."""
    n = min(len(captured), len(reference))
    a, b = captured[:n], reference[:n]
    norm = np.sqrt((a ** 2).sum() * (b ** 2).sum())
    return float((a * b).sum() / norm) if norm > 0 else 0.0


def best_alignment(captured, reference, max_shift):
    """The highest similarity of reference against captured shifted by up to max_shift
    samples either way."""
    return alignment(captured, reference, max_shift)[0]


def alignment(captured, reference, max_shift):
    """(similarity, shift) of the best match of reference against captured shifted by up to
    max_shift samples either way: shift is where in captured the reference starts, less
    max_shift."""
    n = len(reference)
    best, best_lag = 0.0, 0
    padded = np.concatenate([np.zeros(max_shift), captured, np.zeros(max_shift + n)])
    # Correlate through the FFT, then normalise each lag by the captured piece's energy.
    size = 1 << int(np.ceil(np.log2(len(padded) + n)))
    corr = np.fft.irfft(np.fft.rfft(padded, size) * np.conj(np.fft.rfft(reference, size)), size)
    energy = np.concatenate([[0.0], np.cumsum(padded ** 2)])
    ref_norm = np.sqrt((reference ** 2).sum())
    for lag in range(0, 2 * max_shift + 1):
        piece_energy = energy[lag + n] - energy[lag]
        if piece_energy > 0 and ref_norm > 0:
            value = corr[lag] / np.sqrt(piece_energy) / ref_norm
            if value > best:
                best, best_lag = value, lag
    return float(best), best_lag - max_shift


def heard_at(samples, zero, reference, started, before=0.05, after=0.1, length=0.06):
    """When the sample `reference` (its own samples) was heard near the time it was started,
    on the monotonic clock, and how alike it sounded (0..1): its first `length` seconds matched
    against the capture from `before` seconds before to `after` seconds after `started`. A
    sample's own waveform picks it out of whatever else sounds, to the sample."""
    first = max(0, int((started - before - zero) * RATE))
    ref = reference[:int(length * RATE)]
    n = len(ref)
    piece = samples[first:first + int((before + after) * RATE) + n]
    if len(piece) < n:
        raise AssertionError("the capture ends before the sample")
    size = 1 << int(np.ceil(np.log2(len(piece) + n)))
    corr = np.fft.irfft(np.fft.rfft(piece, size) * np.conj(np.fft.rfft(ref, size)), size)[:len(piece) - n + 1]
    energy = np.concatenate([[0.0], np.cumsum(piece ** 2)])
    windows = (energy[n:] - energy[:-n])[:len(corr)]
    # The FFT leaves a rounding error in every lag. Over digital silence (a note stopped, the
    # next not yet started) that error divided by the window's energy of nothing scored
    # anything, above 1 too, and a sample was heard in the silence before it. A window quieter
    # than the capture's least step holds nothing to match.
    audible = windows > n * QUANTUM ** 2
    scores = np.where(audible, corr / np.sqrt(np.where(audible, windows, 1.0)), 0.0) / np.sqrt((ref ** 2).sum())
    lag = int(np.argmax(scores))
    return zero + (first + lag) / RATE, float(scores[lag])


def heard_window(program, started, early=HEARD_EARLY, late=HEARD_LATE):
    """Where a sample that the program started at `started` may be heard: from `early` before,
    or as long before as the wave writer was behind at that moment (the sound went into the
    first of the periods it owed), to `late` after."""
    return started - max(early, program.audio_behind(started) + 0.005), started + late


def heard_near(program, samples, reference, started, length=0.06, early=HEARD_EARLY, late=HEARD_LATE):
    """heard_at searched over all of heard_window: (time, alikeness, (earliest, latest))."""
    earliest, latest = heard_window(program, started, early, late)
    at, alike = heard_at(samples, program.audio_zero(), reference, started,
                         before=max(0.05, started - earliest + 0.02), length=length)
    return at, alike, (earliest, latest)


class _SfInfo(ctypes.Structure):
    _fields_ = [("frames", ctypes.c_int64), ("samplerate", ctypes.c_int), ("channels", ctypes.c_int),
                ("format", ctypes.c_int), ("sections", ctypes.c_int), ("seekable", ctypes.c_int)]


def decode(path):
    """A sample file as mono floats, through libsndfile (the library the program decodes with)."""
    library = ctypes.CDLL(ctypes.util.find_library("sndfile") or "libsndfile.so.1")
    library.sf_open.restype = ctypes.c_void_p
    library.sf_open.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.POINTER(_SfInfo)]
    library.sf_readf_float.restype = ctypes.c_int64
    library.sf_readf_float.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_float), ctypes.c_int64]
    library.sf_close.argtypes = [ctypes.c_void_p]
    info = _SfInfo()
    handle = library.sf_open(str(path).encode(), 0x10, ctypes.byref(info))  # SFM_READ
    if not handle:
        raise AssertionError(f"libsndfile cannot read {path}")
    buffer = (ctypes.c_float * (info.frames * info.channels))()
    read = library.sf_readf_float(handle, buffer, info.frames)
    library.sf_close(handle)
    samples = np.frombuffer(buffer, dtype=np.float32)[:read * info.channels].astype(np.float64)
    if info.samplerate != RATE:
        raise AssertionError(f"{path} is at {info.samplerate} Hz, the capture at {RATE}")
    return samples.reshape(-1, info.channels).mean(axis=1)


def spans_between(samples, zero, start, end, threshold=SILENCE, low=None, high=None):
    """The sounding stretches between two times on the monotonic clock, in those times; zero
    is the clock time of sample 0. low and high limit the band listened to."""
    first = max(0, int((start - zero) * RATE))
    last = min(len(samples), int((end - zero) * RATE))
    piece = samples[first:last]
    if low is not None or high is not None:
        piece = band(piece, low, high)
    offset = zero + first / RATE
    return [(offset + s, offset + e) for s, e in sounding_spans(level(piece), threshold)]


def note_onset(samples, zero, start, end, midi, fraction=0.2):
    """When the fundamental of one note first reaches fraction of its peak in a stretch. The
    band is a semitone wide each way, narrow enough to keep out a chord's other notes (three
    semitones or more away) and wide enough to follow an attack within a few milliseconds."""
    first = max(0, int((start - zero) * RATE))
    piece = band(samples[first:int((end - zero) * RATE)], midi_hz(midi - 1), midi_hz(midi + 1))
    levels = level(piece, 0.002)
    above = np.flatnonzero(levels >= fraction * levels.max())
    return zero + first / RATE + above[0] * 0.002


def comb(samples, midis, width=0.015):
    """Only the partials at the fundamentals of the given notes, each width either way."""
    spectrum = np.fft.rfft(samples)
    freqs = np.fft.rfftfreq(len(samples), 1.0 / RATE)
    keep = np.zeros(len(freqs), dtype=bool)
    for midi in midis:
        hz = midi_hz(midi)
        keep |= (freqs > hz * (1 - width)) & (freqs < hz * (1 + width))
    return np.fft.irfft(np.where(keep, spectrum, 0), len(samples))


def onsets(levels, relative=0.3, quiet=30, hop=HOP):
    """Times at which the level rises through relative of its peak after having fallen below
    a quarter of that (for quiet ms) since the last onset: one per struck note, however its
    sound decays, while a sample's own quiet stretches and a neighbour's faint leak stay
    below. Each onset is dated where its rise began."""
    high = relative * float(levels.max())
    low = high / 4
    found, sounding, quiet_steps = [], False, 0
    for index, value in enumerate(levels):
        if sounding:
            quiet_steps = quiet_steps + 1 if value < low else 0
            if quiet_steps * hop * 1000 >= quiet:
                sounding = False
        elif value >= high:
            start = index
            while start > 0 and levels[start - 1] >= low and index - start < int(0.05 / hop):
                start -= 1
            found.append(start * hop)
            sounding, quiet_steps = True, 0
    return found
