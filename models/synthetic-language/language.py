"""A synthetic language whose every word's start and end are known to the
sample, made to judge word times by.

Each word is a buzz: a glottal-like pulse train at the word's own pitch
(with a small glide), shaped by two formant pairs that belong to that word
alone and alternate every 50 ms. So any 40 to 60 ms of a word names it, and
its spectrum keeps changing as speech does, which the tool's speech-likeness
gate needs to let it through. A "voice" moves every pitch and formant by a
few per cent, tilts the spectrum and sets the attack; words last 150 to
500 ms. Speech needs no synthesizer, so nothing here depends on anything but
numpy, and the same seed gives the same samples on every machine.

Words are stored as tokens 0 .. len(WORDS) - 1 of the model's vocabulary,
written with a leading space.
"""

import numpy as np

SAMPLE_RATE = 16000

WORDS = ["zero", "one", "two", "three", "four", "five", "six", "seven", "eight", "nine",
         "alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf", "hotel", "india", "juliet"]

# Formant pairs: every word owns two, and no pair is shared, so the pair in
# any 50 ms names the word. F1 steps of 110 Hz and F2 steps of 180 Hz are
# two to three mel bands apart at those frequencies.
_F1 = [300, 410, 520, 630, 740]
_F2 = [1050, 1230, 1410, 1590, 1770, 1950, 2130, 2310]
_PAIRS = [(a, b) for a in _F1 for b in _F2]
_ORDER = np.random.default_rng(7).permutation(len(_PAIRS))
FORMANTS = [(_PAIRS[_ORDER[2 * i]], _PAIRS[_ORDER[2 * i + 1]]) for i in range(len(WORDS))]
# Pitches from 95 to 235 Hz, shuffled so that neighbours in pitch are not
# neighbours in formants.
PITCHES = list(np.linspace(95, 235, len(WORDS))[np.random.default_rng(11).permutation(len(WORDS))])
ALTERNATION_S = 0.05


def voice(rng):
    """One speaker: how it moves pitch and formants, and its timbre."""
    return {
        "pitch": rng.uniform(0.93, 1.07),
        "formants": rng.uniform(0.95, 1.05),
        "tilt": rng.uniform(-15.0, -6.0),      # dB per octave above the pitch
        "bandwidth": rng.uniform(70.0, 130.0),  # formant bandwidth, Hz
        "attack": rng.uniform(0.008, 0.025),
        "release": rng.uniform(0.015, 0.04),
        "breath": rng.uniform(0.0, 0.04),       # aspiration noise, relative
    }


def word(rng, index, speaker, duration_s):
    """Word `index` said by `speaker`, `duration_s` long, peak about 0.5."""
    n = int(duration_s * SAMPLE_RATE)
    t = np.arange(n) / SAMPLE_RATE
    glide = rng.uniform(-0.06, 0.06)
    f0 = PITCHES[index] * speaker["pitch"] * (1.0 + glide * t / max(duration_s, 1e-3))
    phase = 2 * np.pi * np.cumsum(f0) / SAMPLE_RATE
    # The pair in use at each sample: A and B alternate every 50 ms from a
    # random point of the cycle, with crossfades of about 6 ms.
    cycle = t / ALTERNATION_S + rng.uniform(0, 2)
    weight_b = np.clip(0.5 - 2.5 * np.cos(np.pi * cycle), 0.0, 1.0)
    (a1, a2), (b1, b2) = FORMANTS[index]
    scale = speaker["formants"]
    out = np.zeros(n)
    harmonics = int(4000 / f0.min())
    for k in range(1, harmonics + 1):
        f = k * f0
        gain_a = _resonance(f, a1 * scale, speaker) + _resonance(f, a2 * scale, speaker)
        gain_b = _resonance(f, b1 * scale, speaker) + _resonance(f, b2 * scale, speaker)
        tilt = 10 ** (speaker["tilt"] * np.log2(k) / 20)
        out += np.sin(k * phase) * ((1.0 - weight_b) * gain_a + weight_b * gain_b) * tilt
    out += rng.standard_normal(n) * speaker["breath"] * np.std(out)
    envelope = np.minimum(1.0, np.minimum(t / speaker["attack"], (duration_s - t) / speaker["release"]))
    out *= np.clip(envelope, 0.0, 1.0)
    return (out / (np.abs(out).max() + 1e-9) * 0.5).astype(np.float32)


def _resonance(f, centre, speaker):
    return 1.0 / (1.0 + ((f - centre) / speaker["bandwidth"]) ** 2) + 0.02


def word_duration(rng):
    return rng.uniform(0.15, 0.5)


def gap(rng, kinds=("short", "medium", "long"), weights=(0.6, 0.3, 0.1)):
    """A pause between words: short (40 to 250 ms), medium (0.25 to 1 s) or
    long (1 to 5 s)."""
    kind = rng.choice(kinds, p=np.array(weights) / sum(weights))
    if kind == "short":
        return rng.uniform(0.04, 0.25)
    if kind == "medium":
        return rng.uniform(0.25, 1.0)
    return rng.uniform(1.0, 5.0)


def background(rng, n, level):
    """Digital silence, or a faint noise floor `level` below the words."""
    if rng.random() < 0.3:
        return np.zeros(n, np.float32)
    return (rng.standard_normal(n) * 0.5 * 10 ** (-level / 20)).astype(np.float32)


def speech(rng, seconds, start_s=0.0, dense=False, speaker=None):
    """About `seconds` of words in one voice from `start_s`: (audio, words)
    with words as (index, start s, end s) in the audio's time. Dense speech
    has only short gaps, as the tool packs utterances 0.2 s apart."""
    speaker = speaker or voice(rng)
    n = int(seconds * SAMPLE_RATE)
    audio = np.zeros(n, np.float32)
    words = []
    t = start_s
    while True:
        d = word_duration(rng)
        if t + d > seconds:
            break
        w = int(rng.integers(len(WORDS)))
        clip = word(rng, w, speaker, d) * rng.uniform(0.3, 1.0)
        a = int(t * SAMPLE_RATE)
        audio[a:a + len(clip)] += clip
        words.append((w, a / SAMPLE_RATE, (a + len(clip)) / SAMPLE_RATE))
        t = (a + len(clip)) / SAMPLE_RATE + (gap(rng, weights=(0.85, 0.15, 0.0)) if dense else gap(rng))
    return audio, words


def recording(rng, seconds, silences=None):
    """A checking recording of `seconds`, synthesized afresh in new voices:
    (audio, words). With `silences` (low, high), groups of 3 to 8 words are
    separated by that many seconds of silence; otherwise natural speech
    throughout, one voice."""
    n = int(seconds * SAMPLE_RATE)
    audio = np.zeros(n, np.float32)
    words = []
    speaker = voice(rng)
    t = rng.uniform(0.2, 1.0)
    in_group = int(rng.integers(3, 9))
    while True:
        w = int(rng.integers(len(WORDS)))
        clip = word(rng, w, speaker, word_duration(rng)) * rng.uniform(0.3, 1.0)
        if t + len(clip) / SAMPLE_RATE > seconds - 0.3:
            break
        a = int(t * SAMPLE_RATE)
        audio[a:a + len(clip)] += clip
        words.append((w, a / SAMPLE_RATE, (a + len(clip)) / SAMPLE_RATE))
        t = words[-1][2]
        in_group -= 1
        if silences and in_group == 0:
            t += rng.uniform(*silences)
            in_group = int(rng.integers(3, 9))
            speaker = voice(rng) if rng.random() < 0.3 else speaker
        else:
            t += gap(rng, weights=(0.7, 0.3, 0.0)) if silences else gap(rng)
    return audio + background(rng, n, rng.uniform(35.0, 60.0)), words
