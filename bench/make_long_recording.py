#!/usr/bin/env python3
"""Writes a long real-speech recording, 16 kHz mono 16-bit WAV, made of the
LibriVox clips played in turn with pauses between them, cut to a length.

Usage: make_long_recording.py OUT.wav SECONDS [CLIPS_DIR]
"""
import sys
import wave

out_path, seconds = sys.argv[1], float(sys.argv[2])
clips_dir = sys.argv[3] if len(sys.argv) > 3 else "/usr/share/pocketsphinx/test/data/librivox"
with open(f"{clips_dir}/fileids") as f:
    ids = [line.strip() for line in f if line.strip()]

clips = []
for clip_id in ids:
    with wave.open(f"{clips_dir}/{clip_id}.wav", "rb") as w:
        assert (w.getframerate(), w.getnchannels(), w.getsampwidth()) == (16000, 1, 2)
        clips.append(w.readframes(w.getnframes()))

pauses = [b"\0\0" * int(16000 * s) for s in (0.8, 1.5, 1.1, 2.0, 0.6)]
wanted = int(seconds * 16000) * 2
audio = bytearray()
k = 0
while len(audio) < wanted:
    audio += clips[k % len(clips)] + pauses[k % len(pauses)]
    k += 1
with wave.open(out_path, "wb") as w:
    w.setnchannels(1)
    w.setsampwidth(2)
    w.setframerate(16000)
    w.writeframes(bytes(audio[:wanted]))
