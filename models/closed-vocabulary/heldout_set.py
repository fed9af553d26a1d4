"""Writes the checking set: recordings in the held-out voices only (never
used in training), with every word's true start and end, and recordings
with no speech at all.

  /usr/bin/python3 heldout_set.py VOICE_CACHE OUT_DIR
  /usr/bin/python3 heldout_set.py VOICE_CACHE --clip OUT.flac OUT.tsv

OUT_DIR gets NAME.wav (16 kHz mono) and NAME.truth.json for each:
{"words": [{"word", "start", "end"}...], "speechless": [[start, end]...]}
where "speechless" lists stretches in which any word written is made up.
- speech-*: 20 to 70 s of utterances of 2 to 6 words, 20 to 200 ms between
  words and 0.5 to 2.5 s between utterances, one voice per recording, some
  with a faint noise floor; the longer ones fill more than one 30 s window.
- gap-*: speech, 30 s of noise or chords with no speech, speech again.
- nonspeech-*: silence, white noise, a tone sweep, chords.
Seeded: the same files every time.

--clip writes the test fixture instead: 70 s of utterances in one held-out
voice, more speech than one 30 s window holds, and its words' true spans
as "word<TAB>start<TAB>end" lines.
"""

import json
import os
import subprocess
import sys
import tempfile

import numpy as np

from model import SAMPLE_RATE
from voices import HELD_OUT_VOICES, WORDS, load_voice, write_wav
from windows import _noise, _stretch, non_speech

SEED = 4242


def utterances(rng, voice, seconds, start=0.0):
    """Audio of `seconds` (about) of utterances, and the words' true spans
    shifted by `start`."""
    pieces, words, t = [], [], rng.uniform(0.3, 1.0)
    pieces.append(np.zeros(int(t * SAMPLE_RATE), np.float32))
    while t < seconds:
        gain = rng.uniform(0.2, 0.8)
        for k in range(int(rng.integers(2, 7))):
            if k:
                gap = rng.uniform(0.02, 0.2)
                pieces.append(np.zeros(int(gap * SAMPLE_RATE), np.float32))
                t += int(gap * SAMPLE_RATE) / SAMPLE_RATE
            w = int(rng.integers(len(WORDS)))
            clip = _stretch(voice[w], rng.uniform(0.95, 1.05)) * gain
            pieces.append(clip)
            words.append({"word": WORDS[w], "start": round(start + t, 4),
                          "end": round(start + t + len(clip) / SAMPLE_RATE, 4)})
            t += len(clip) / SAMPLE_RATE
        pause = rng.uniform(0.5, 2.5)
        pieces.append(np.zeros(int(pause * SAMPLE_RATE), np.float32))
        t += int(pause * SAMPLE_RATE) / SAMPLE_RATE
    audio = np.concatenate(pieces)
    return audio, words


def clip(cache, flac, tsv):
    rng = np.random.default_rng(SEED + 1)
    voice = load_voice(HELD_OUT_VOICES[3], cache)
    audio, words = utterances(rng, voice, 70)
    with tempfile.TemporaryDirectory() as tmp:
        wav = os.path.join(tmp, "clip.wav")
        write_wav(wav, audio)
        subprocess.run(["sox", wav, flac], check=True)
    with open(tsv, "w") as f:
        for w in words:
            f.write(f"{w['word']}\t{w['start']:.4f}\t{w['end']:.4f}\n")


def main():
    if sys.argv[2] == "--clip":
        clip(sys.argv[1], sys.argv[3], sys.argv[4])
        return
    cache, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    rng = np.random.default_rng(SEED)
    voices = [load_voice(v, cache) for v in HELD_OUT_VOICES]

    def save(name, audio, words, speechless=()):
        write_wav(os.path.join(out, name + ".wav"), np.clip(audio, -1, 1))
        with open(os.path.join(out, name + ".truth.json"), "w") as f:
            json.dump({"words": words, "speechless": [list(s) for s in speechless]}, f)

    for i in range(15):
        voice = voices[i % len(voices)]
        audio, words = utterances(rng, voice, rng.uniform(20, 70))
        if i % 3 == 2:
            audio = audio + _noise(rng, len(audio), "white") * rng.uniform(3e-4, 3e-3)
        save(f"speech-{i:02d}", audio, words)

    for i in range(2):
        voice = voices[(i + 2) % len(voices)]
        first, words = utterances(rng, voice, 12)
        quiet = 30.0
        middle = non_speech(rng, int(quiet * SAMPLE_RATE)) if i else _noise(rng, int(quiet * SAMPLE_RATE), "brown") * 0.05
        offset = (len(first) + len(middle)) / SAMPLE_RATE
        last, more = utterances(rng, voice, 12, offset)
        gap = (len(first) / SAMPLE_RATE, offset)
        save(f"gap-{i}", np.concatenate([first, middle.astype(np.float32), last]), words + more, [gap])

    for kind, seconds in [("silence", 10), ("noise", 20), ("tone", 15), ("chords", 20)]:
        n = int(seconds * SAMPLE_RATE)
        t = np.arange(n) / SAMPLE_RATE
        if kind == "silence":
            audio = np.zeros(n, np.float32)
        elif kind == "noise":
            audio = _noise(rng, n, "white") * 0.1
        elif kind == "tone":
            audio = np.sin(2 * np.pi * np.cumsum(np.linspace(300, 2500, n)) / SAMPLE_RATE) * 0.3
        else:
            audio = np.zeros(n, np.float32)
            while not audio.any():
                audio = non_speech(rng, n)
        save(f"nonspeech-{kind}", audio.astype(np.float32), [], [(0.0, seconds)])
    print("checking set in", out)


if __name__ == "__main__":
    main()
