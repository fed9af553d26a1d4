"""Training windows and checking recordings of the synthetic language.

A window is what whisper sees at once: 30 s of audio, its target tokens in
whisper.cpp's English-only layout, and every word's true span. Two target
forms, mixed in training:
- timestamped: start of transcript, then one segment per word (its start
  time, the word, its end time), then end of text: what whisper.cpp decodes;
- plain: start of transcript, no-timestamps, the words, end of text: what
  whisper.cpp's alignment pass reads the cross-attention of.
Three layouts: natural (short, medium and long pauses), dense (utterances
0.2 s apart, as the tool packs them) and sparse (a few words, then silence
to the window's end). Words come from a bank synthesized ahead of time.
"""

import os
import sys

import numpy as np

sys.path.append(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "closed-vocabulary"))
from model import EOT, FIRST_TIMESTAMP, NO_TIMESTAMPS, SOT, TIMESTAMP_STEP  # noqa: E402

from language import SAMPLE_RATE, WORDS, background, gap, voice, word, word_duration  # noqa: E402

WINDOW_S = 30.0
JOIN_S = 0.2  # the tool's silence between packed utterances


def timestamp(seconds):
    return FIRST_TIMESTAMP + int(round(seconds / TIMESTAMP_STEP))


class ClipBank:
    """Words synthesized ahead of time in many voices, so that a training
    step does not wait for synthesis: clips[w] is a list of word w's clips."""

    def __init__(self, seed, voices, per_voice):
        rng = np.random.default_rng(seed)
        self.clips = [[] for _ in WORDS]
        for _ in range(voices):
            speaker = voice(rng)
            for w in range(len(WORDS)):
                for _ in range(per_voice):
                    self.clips[w].append(word(rng, w, speaker, word_duration(rng)))

    def draw(self, rng, w):
        return self.clips[w][int(rng.integers(len(self.clips[w])))]

    def save(self, path):
        flat = [c for clips in self.clips for c in clips]
        np.savez(path, lengths=np.array([len(c) for c in flat]), samples=np.concatenate(flat),
                 per_word=np.array([len(c) for c in self.clips]))

    @classmethod
    def load(cls, path):
        bank = cls.__new__(cls)
        data = np.load(path)
        ends = np.cumsum(data["lengths"])
        flat = np.split(data["samples"], ends[:-1])
        bank.clips, at = [], 0
        for count in data["per_word"]:
            bank.clips.append(flat[at:at + count])
            at += count
        return bank


def lay_words(rng, bank, layout):
    """Word clips laid in a window: (audio, words as (index, start, end))."""
    n = int(WINDOW_S * SAMPLE_RATE)
    audio = np.zeros(n, np.float32)
    words = []
    t = rng.uniform(0.0, 1.0)
    limit = WINDOW_S - 0.3
    if layout == "sparse":
        limit = rng.uniform(2.0, 20.0)
    left_in_utterance = 0
    while True:
        w = int(rng.integers(len(WORDS)))
        clip = bank.draw(rng, w) * rng.uniform(0.25, 1.0)
        if t + len(clip) / SAMPLE_RATE > limit:
            break
        a = int(t * SAMPLE_RATE)
        audio[a:a + len(clip)] += clip
        words.append((w, a / SAMPLE_RATE, (a + len(clip)) / SAMPLE_RATE))
        t = words[-1][2]
        if layout == "dense":
            if left_in_utterance == 0:
                left_in_utterance = int(rng.integers(1, 7))
            left_in_utterance -= 1
            t += JOIN_S if left_in_utterance == 0 else gap(rng, weights=(1.0, 0.0, 0.0))
        else:
            t += gap(rng)
    return audio, words


def targets(words, plain):
    """The target tokens of a window holding `words`."""
    if plain:
        return [SOT, NO_TIMESTAMPS] + [w for w, _, _ in words] + [EOT]
    tokens = [SOT]
    last = FIRST_TIMESTAMP
    for w, a, b in words:
        start = max(timestamp(a), last)
        end = max(timestamp(b), start + 1)
        tokens += [start, w, end]
        last = end
    if not words:
        tokens.append(FIRST_TIMESTAMP)
    return tokens + [EOT]


def training_window(rng, bank, plain_share=0.4):
    layout = rng.choice(["natural", "dense", "sparse"], p=[0.45, 0.4, 0.15])
    audio, words = lay_words(rng, bank, layout)
    level = rng.uniform(30.0, 60.0)
    audio = audio + background(rng, len(audio), level)
    return audio, targets(words, rng.random() < plain_share), words


def frame_labels(words, positions=1500):
    """The word (index + 1) or 0 at each 20 ms encoder position."""
    labels = np.zeros(positions, np.int64)
    centers = (np.arange(positions) + 0.5) * TIMESTAMP_STEP
    for w, a, b in words:
        labels[(centers >= a) & (centers < b)] = w + 1
    return labels


def word_positions(span, positions=1500):
    """The encoder positions whose 20 ms lie inside a word's span: at least
    the nearest one."""
    centers = (np.arange(positions) + 0.5) * TIMESTAMP_STEP
    inside = (centers >= span[0]) & (centers < span[1])
    if not inside.any():
        inside[min(positions - 1, int(sum(span) / 2 / TIMESTAMP_STEP))] = True
    return inside
