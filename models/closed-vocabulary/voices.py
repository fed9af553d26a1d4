"""The closed vocabulary and the synthetic voices the test model hears.

Every word is synthesized on its own, once per voice and speaking rate, and
trimmed to where its sound starts and ends. Utterances are these clips laid
end to end with short gaps, so every word's true start and end are known to
the sample: that is what the word-time benchmark scores against. The price
is speech without coarticulation between words, which is fine for a test
instrument and says nothing about a product model.

Voices are split once, here: the held-out ones are used only to check the
trained model and to benchmark the engine, never in training.
"""

import os
import subprocess
import tempfile
import wave

import numpy as np

SAMPLE_RATE = 16000

# Digits and four words. A first run with 36 words learned them too slowly
# for one working session on two cores (held-out word accuracy 3% after
# 27 minutes); with fewer classes each is heard more often.
WORDS = ["zero", "one", "two", "three", "four", "five", "six", "seven", "eight", "nine",
         "yes", "no", "stop", "hello"]

# espeak-ng: accents x voice variants. Held out: a whole accent (Scottish)
# and variants never heard in training.
_ESPEAK_TRAIN_ACCENTS = ["en-us", "en-gb", "en-gb-x-rp", "en-gb-x-gbclan", "en-029"]
_ESPEAK_TRAIN_VARIANTS = ["m1", "m2", "m3", "m4", "m6", "m7", "f1", "f3", "f4", "klatt", "klatt2", "klatt4"]
_ESPEAK_RATES = [145, 185]

TRAIN_VOICES = (
    [("espeak", f"{a}+{v}", r) for a in _ESPEAK_TRAIN_ACCENTS for v in _ESPEAK_TRAIN_VARIANTS for r in _ESPEAK_RATES]
    + [("flite", v, s) for v in ["kal", "kal16", "awb", "slt"] for s in [0.9, 1.15]]
    + [("festival", v, 1.0) for v in ["kal_diphone", "cmu_us_slt_arctic_hts"]]
)

HELD_OUT_VOICES = [
    ("espeak", "en-gb-scotland+m5", 165),
    ("espeak", "en-us+f2", 165),
    ("espeak", "en-gb-x-rp+klatt3", 165),
    ("flite", "rms", 1.0),
    ("festival", "ked_diphone", 1.0),
]


def voice_name(voice):
    engine, name, rate = voice
    return f"{engine}-{name}-{rate}"


def _read_wav(path):
    with wave.open(path, "rb") as w:
        rate = w.getframerate()
        data = np.frombuffer(w.readframes(w.getnframes()), dtype=np.int16).astype(np.float32) / 32768.0
        if w.getnchannels() > 1:
            data = data.reshape(-1, w.getnchannels()).mean(axis=1)
    return data, rate


def _resample(data, rate):
    if rate == SAMPLE_RATE:
        return data
    with tempfile.TemporaryDirectory() as tmp:
        src, dst = os.path.join(tmp, "in.wav"), os.path.join(tmp, "out.wav")
        _write_wav(src, data, rate)
        subprocess.run(["sox", src, "-r", str(SAMPLE_RATE), dst], check=True)
        return _read_wav(dst)[0]


def _write_wav(path, data, rate=SAMPLE_RATE):
    pcm = np.clip(np.round(data * 32767), -32768, 32767).astype(np.int16)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(pcm.tobytes())


write_wav = _write_wav


def trim(clip):
    """Cuts the clip to where its 10 ms frames come within 40 dB of its peak."""
    frame = SAMPLE_RATE // 100
    frames = len(clip) // frame
    energy = np.array([np.sqrt(np.mean(clip[i * frame:(i + 1) * frame] ** 2)) for i in range(frames)])
    loud = np.nonzero(energy > energy.max() * 0.01)[0]
    clip = clip[loud[0] * frame:(loud[-1] + 1) * frame]
    return (clip / max(1e-6, np.abs(clip).max())).astype(np.float32)


def _synthesize_all(voice, words, tmp):
    engine, name, rate = voice
    paths = [os.path.join(tmp, f"{i}.wav") for i in range(len(words))]
    if engine == "espeak":
        for word, path in zip(words, paths):
            subprocess.run(["espeak-ng", "-v", name, "-s", str(rate), "-w", path, word], check=True)
    elif engine == "flite":
        for word, path in zip(words, paths):
            subprocess.run(["flite", "-voice", name, "--setf", f"duration_stretch={rate}", "-t", word, "-o", path],
                           check=True)
    else:
        # One festival process for all words: it takes a second to start.
        script = os.path.join(tmp, "words.scm")
        with open(script, "w") as f:
            f.write(f"(voice_{name})\n")
            for word, path in zip(words, paths):
                f.write(f'(utt.save.wave (utt.synth (Utterance Text "{word}")) "{path}" \'riff)\n')
        subprocess.run(["festival", "--batch", script], check=True, stdout=subprocess.DEVNULL)
    clips = []
    for path in paths:
        data, sr = _read_wav(path)
        clips.append(trim(_resample(data, sr)))
    return clips


def load_voice(voice, cache_dir):
    """All of WORDS in `voice`, as trimmed 16 kHz clips; cached on disk by
    word, so that a changed word list synthesizes only the new words."""
    os.makedirs(cache_dir, exist_ok=True)
    path = os.path.join(cache_dir, voice_name(voice) + ".words.npz")
    clips = {}
    if os.path.exists(path):
        with np.load(path) as stored:
            clips = {word: stored[word] for word in stored.files}
    missing = [w for w in WORDS if w not in clips]
    if missing:
        with tempfile.TemporaryDirectory() as tmp:
            clips.update(zip(missing, _synthesize_all(voice, missing, tmp)))
        np.savez(path + ".new.npz", **clips)
        os.replace(path + ".new.npz", path)
    return [clips[w] for w in WORDS]


if __name__ == "__main__":
    import sys
    from concurrent.futures import ProcessPoolExecutor
    cache = sys.argv[1]
    voices = TRAIN_VOICES + HELD_OUT_VOICES
    with ProcessPoolExecutor(2) as pool:
        list(pool.map(load_voice, voices, [cache] * len(voices)))
    print(len(voices), "voices in", cache)
