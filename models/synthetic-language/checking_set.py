"""Writes the synthetic language's checking set: recordings in voices no
training step heard (their own seeds), with every word's true start and end.

  /usr/bin/python3 checking_set.py OUT_DIR [SEED]

OUT_DIR gets NAME.wav (16 kHz mono, 16-bit) and NAME.truth.json for each:
{"words": [{"word", "start", "end"}...], "speechless": [[start, end]...]},
where "speechless" lists stretches in which any word written is made up:
- short-0 .. short-4: 29.5 s of natural speech (pauses of 40 ms to 5 s),
  one voice each, one whisper window each;
- long-0: 143 s in groups of 3 to 8 words with 6 to 20 s of silence
  between groups, as a recording with long silences is.
The same seed gives the same files on every machine.
"""

import json
import os
import sys
import wave

import numpy as np

from language import SAMPLE_RATE, WORDS, recording

SEED = 9090


def write(out_dir, name, audio, words, speechless):
    pcm = (np.clip(audio, -1.0, 1.0) * 32767).astype("<i2")
    with wave.open(os.path.join(out_dir, name + ".wav"), "wb") as f:
        f.setnchannels(1)
        f.setsampwidth(2)
        f.setframerate(SAMPLE_RATE)
        f.writeframes(pcm.tobytes())
    truth = {"words": [{"word": WORDS[w], "start": round(a, 4), "end": round(b, 4)} for w, a, b in words],
             "speechless": speechless}
    with open(os.path.join(out_dir, name + ".truth.json"), "w") as f:
        json.dump(truth, f, indent=1)


def silences(words, at_least):
    """The pauses of `at_least` seconds or more between words."""
    return [[round(a[2] + 0.1, 4), round(b[1] - 0.1, 4)] for a, b in zip(words, words[1:]) if b[1] - a[2] >= at_least]


def main():
    out_dir = sys.argv[1]
    seed = int(sys.argv[2]) if len(sys.argv) > 2 else SEED
    os.makedirs(out_dir, exist_ok=True)
    rng = np.random.default_rng(seed)
    for i in range(5):
        audio, words = recording(rng, 29.5)
        write(out_dir, f"short-{i}", audio, words, silences(words, 1.0))
    audio, words = recording(rng, 143.0, silences=(6.0, 20.0))
    write(out_dir, "long-0", audio, words, silences(words, 1.0))


if __name__ == "__main__":
    main()
