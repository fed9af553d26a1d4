"""Training and checking windows: synthesized utterances at known places.

A window is what whisper sees at once: up to 30 s of audio, its target
token sequence in whisper.cpp's English-only layout (start of transcript,
then per segment a start timestamp, its words and an end timestamp, then
end of text; a segment is an utterance, or the part of one up to a pause
of SEGMENT_PAUSE_S or more) and every word's true span. Windows without
speech (silence, noise, tones, chords) have the target "<|0.00|>" then end
of text, which whisper.cpp turns into no segment at all.
"""

import numpy as np

from model import EOT, FIRST_TIMESTAMP, NO_TIMESTAMPS, SAMPLE_RATE, SOT, TIMESTAMP_STEP
from voices import WORDS

# Word i is stored as token i, written with its leading space.
WORD_TOKENS = list(range(len(WORDS)))
SEGMENT_PAUSE_S = 0.12


def timestamp(seconds):
    return FIRST_TIMESTAMP + int(round(seconds / TIMESTAMP_STEP))


def _noise(rng, n, color):
    white = rng.standard_normal(n).astype(np.float32)
    if color == "white":
        return white
    # Brown-ish: integrated white noise, with the drift taken out.
    walk = np.cumsum(white)
    walk -= np.convolve(walk, np.ones(401) / 401, mode="same")
    return (walk / (np.std(walk) + 1e-9)).astype(np.float32)


def non_speech(rng, n):
    """Silence, noise, tones or chords: everything but speech."""
    kind = rng.choice(["silence", "noise", "tone", "chords"])
    t = np.arange(n) / SAMPLE_RATE
    if kind == "silence":
        return np.zeros(n, np.float32) if rng.random() < 0.5 else _noise(rng, n, "white") * 1e-4
    if kind == "noise":
        return _noise(rng, n, rng.choice(["white", "brown"])) * rng.uniform(0.01, 0.3)
    if kind == "tone":
        f0, f1 = rng.uniform(200, 3000, 2)
        phase = 2 * np.pi * np.cumsum(np.linspace(f0, f1, n)) / SAMPLE_RATE
        return (np.sin(phase) * rng.uniform(0.05, 0.5)).astype(np.float32)
    out = np.zeros(n, np.float32)
    note = int(rng.uniform(0.2, 1.0) * SAMPLE_RATE)
    for start in range(0, n, note):
        seg = slice(start, min(n, start + note))
        for _ in range(3):
            f = 110 * 2 ** (rng.integers(0, 36) / 12)
            envelope = np.exp(-3 * (t[seg] - t[start]))
            out[seg] += np.sin(2 * np.pi * f * t[seg]) * envelope * 0.15
    return out


def _stretch(clip, factor):
    """Speed change by resampling: factor > 1 makes the word longer."""
    n = max(8, int(len(clip) * factor))
    return np.interp(np.linspace(0, len(clip) - 1, n), np.arange(len(clip)), clip).astype(np.float32)


def make_window(rng, voices, length_s=30.0, offset_s=0.0, speech=None, without_timestamps=0.25):
    """One window of `length_s` seconds that stands at `offset_s` in a
    30-second window (a crop, for cheaper training steps).

    `voices`: a list of per-voice clip lists (voices.load_voice). Returns
    (audio, tokens, words) where words are (word index, start s, end s) in
    window time, that is with `offset_s` added.
    """
    n = int(length_s * SAMPLE_RATE)
    if speech is None:
        speech = rng.random() > 0.08
    if not speech:
        return non_speech(rng, n), [SOT, timestamp(0.0), EOT], []

    audio = np.zeros(n, np.float32)
    background = rng.random()
    tokens = [SOT]
    words = []
    voice = voices[rng.integers(len(voices))]
    t = rng.uniform(0.0, 1.0)
    last_end_token = None
    while True:
        if rng.random() < 0.1:
            voice = voices[rng.integers(len(voices))]
        count = int(rng.integers(1, 7))
        speed = rng.uniform(0.9, 1.12)
        gain = rng.uniform(0.08, 0.9)
        pieces, spans, cursor = [], [], 0
        for k in range(count):
            w = int(rng.integers(len(WORDS)))
            clip = _stretch(voice[w], speed)
            if k > 0:
                gap = int(rng.uniform(0.02, 0.25) * SAMPLE_RATE)
                pieces.append(np.zeros(gap, np.float32))
                cursor += gap
            pieces.append(clip)
            spans.append((w, cursor, cursor + len(clip)))
            cursor += len(clip)
        start = int(t * SAMPLE_RATE)
        if start + cursor > n - 320:
            # The window cuts this utterance: whisper's convention is to write
            # only its start, so that decoding resumes there.
            if last_end_token is not None and start < n - 4000 and rng.random() < 0.5:
                cut = np.concatenate(pieces)[:n - start]
                audio[start:start + len(cut)] += cut * gain
                start_token = max(timestamp(offset_s + t), last_end_token + 1)
                tokens.append(start_token)
            break
        audio[start:start + cursor] += np.concatenate(pieces) * gain
        # A pause of SEGMENT_PAUSE_S or more inside an utterance ends a
        # segment, as whisper's segments end where speakers pause: the model
        # states a time every word or few, never tracks long runs blind.
        previous_end = None
        for w, a, b in spans:
            word_start = offset_s + (start + a) / SAMPLE_RATE
            if previous_end is None or word_start - previous_end >= SEGMENT_PAUSE_S:
                if previous_end is not None:
                    last_end_token = max(timestamp(previous_end), start_token + 1)
                    tokens.append(last_end_token)
                start_token = timestamp(word_start) if last_end_token is None else max(timestamp(word_start), last_end_token + 1)
                tokens.append(start_token)
            tokens.append(WORD_TOKENS[w])
            previous_end = offset_s + (start + b) / SAMPLE_RATE
            words.append((w, word_start, previous_end))
        last_end_token = max(timestamp(previous_end), start_token + 1)
        tokens.append(last_end_token)
        t = (start + cursor) / SAMPLE_RATE
        r = rng.random()
        t += 0.0 if r < 0.1 else rng.uniform(0.05, 0.35) if r < 0.4 else rng.uniform(0.35, 3.0)
        if rng.random() < 0.1:
            break
    tokens.append(EOT)
    if rng.random() < without_timestamps:
        # whisper.cpp times words by decoding the text again with no
        # timestamps and reading the cross-attention: the model must know
        # that form too.
        tokens = [SOT, NO_TIMESTAMPS] + [t for t in tokens[1:] if t < FIRST_TIMESTAMP]

    if background < 0.3:
        pass  # digital silence between words, as packed windows have
    elif background < 0.7:
        audio += _noise(rng, n, "white") * rng.uniform(1e-4, 3e-3)
    else:
        level = np.sqrt(np.mean(audio ** 2) + 1e-12) * 10 ** (-rng.uniform(12, 35) / 20)
        audio += non_speech(rng, n) / 0.3 * level
    return audio.astype(np.float32), tokens, words


def position_centers(positions, offset_s=0.0):
    """The window time (s) of the middle of each 20 ms encoder position of a
    window or crop that starts at `offset_s`."""
    return offset_s + (np.arange(positions) + 0.5) * TIMESTAMP_STEP


def frame_labels(words, positions, offset_s=0.0):
    """The word (index + 1) or 0 at each 20 ms encoder position."""
    labels = np.zeros(positions, np.int64)
    centers = position_centers(positions, offset_s)
    for w, a, b in words:
        labels[(centers >= a) & (centers < b)] = w + 1
    return labels
