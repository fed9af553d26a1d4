"""Trains the test model: whisper's architecture at width 64 on synthesized
speech of a closed vocabulary (voices.py), in whisper.cpp's English-only
layout with timestamp tokens, and saves checkpoints so that a stop loses
nothing: run it again with the same arguments and it carries on.

  /usr/bin/python3 train.py WORK_DIR          # train (or resume)
  /usr/bin/python3 export.py WORK_DIR/model.pt OUT.bin

Two phases, both seeded:
  A. 4-second crops at random places in the window (a tenth of the
     encoder's work per example), with an extra frame-level word loss on the
     encoder output that teaches the encoder the words long before the
     decoder alone would;
  B. whole 30-second windows, as whisper.cpp decodes them.
Each line of WORK_DIR/log.tsv is one check on held-out voices: step,
seconds of training, word accuracy of greedy decoding on whole 30 s windows
(1 - word errors / words: insertions can make it negative), training loss.

The committed model (tests/fixtures/whisper/model/) is this script's run:
3,300 steps, 3,715 s of training on two cores (Debian's torch 1.13). Its
held-out word accuracy (this greedy check) rose to 0.21 at step 2,100 and
stayed 0.13-0.18 to step 3,100 on crops; on whole windows (phase B) it fell
to below zero (repetition). whisper.cpp's whisper-cli gets 103% word error
rate with it on the checking set. NOT the 95% a useful test instrument
needs: more training of whole windows is the next step (an earlier run
with 36 words reached 3% in 27 minutes). The checks it passes are those
that hold for any trained model: its words, in order, through two windows.
"""

import json
import os
import sys
import time

import numpy as np
import torch
import torch.nn.functional as F

from model import EOT, FIRST_TIMESTAMP, SOT, TIMESTAMP_STEP, Whisper, log_mel
from voices import HELD_OUT_VOICES, TRAIN_VOICES, WORDS, load_voice
from windows import frame_labels, make_window

SEED = 20261211
CROP_S = 4.0
PHASE_A_STEPS, PHASE_A_BATCH = 3100, 16
PHASE_B_STEPS, PHASE_B_BATCH = 200, 4
# The learning rate's cosine runs over 3,800 steps: the run was planned as
# 3,500 + 300 steps and cut short to fit a working session (phase A ended
# early when whole-window accuracy stopped rising on crops); keeping the
# schedule keeps this script reproducing that run exactly.
PEAK_LR, FINAL_LR, WARMUP, SCHEDULE_STEPS = 3e-3, 1e-4, 100, 3800
AUX_WEIGHT = 1.0
CHECK_EVERY = 100


def learning_rate(step):
    total = SCHEDULE_STEPS
    if step < WARMUP:
        return PEAK_LR * (step + 1) / WARMUP
    progress = (step - WARMUP) / (total - WARMUP)
    return FINAL_LR + 0.5 * (PEAK_LR - FINAL_LR) * (1 + np.cos(np.pi * progress))


def batch(rng, voices, step):
    crop = step < PHASE_A_STEPS
    size = PHASE_A_BATCH if crop else PHASE_B_BATCH
    length = CROP_S if crop else 30.0
    offset = int(rng.integers(0, int((30.0 - length) / TIMESTAMP_STEP) + 1)) * TIMESTAMP_STEP if crop else 0.0
    mels, token_lists, labels = [], [], []
    positions = int(length / TIMESTAMP_STEP)
    for _ in range(size):
        audio, tokens, words = make_window(rng, voices, length, offset)
        mels.append(log_mel(torch.from_numpy(audio)))
        token_lists.append(tokens)
        labels.append(frame_labels(words, positions, offset))
    width = max(len(t) for t in token_lists)
    tokens = torch.full((size, width), -100, dtype=torch.long)
    for i, t in enumerate(token_lists):
        tokens[i, :len(t)] = torch.tensor(t)
    return torch.stack(mels), tokens, torch.from_numpy(np.stack(labels)), int(round(offset / TIMESTAMP_STEP))


def greedy(model, mel, max_tokens=120):
    """Plain greedy decoding with whisper's two main rules: the first token
    is a timestamp of at most 1 s, and a text token may not follow a lone
    timestamp that ends a segment (pairs)."""
    audio = model.encoder(mel[None])
    tokens = [SOT]
    for _ in range(max_tokens):
        logits = model.decoder(torch.tensor([tokens]), audio)[0][0, -1, :-1]
        used = model.decoder.used
        if len(tokens) == 1:
            logits[(used < FIRST_TIMESTAMP) | (used > FIRST_TIMESTAMP + 50)] = -np.inf
        token = int(used[int(logits.argmax())])
        tokens.append(token)
        if token == EOT:
            break
    return tokens


def read_words(tokens):
    """The word indices of a decoded token sequence."""
    return [t for t in tokens[1:] if t < len(WORDS)]


def edit_distance(a, b):
    d = list(range(len(b) + 1))
    for i in range(1, len(a) + 1):
        prev, d[0] = d[0], i
        for j in range(1, len(b) + 1):
            prev, d[j] = d[j], min(d[j] + 1, d[j - 1] + 1, prev + (a[i - 1] != b[j - 1]))
    return d[len(b)]


def check(model, windows):
    model.eval()
    errors = total = 0
    with torch.no_grad():
        for mel, words in windows:
            said = read_words(greedy(model, mel))
            truth = [w for w, _, _ in words]
            errors += edit_distance(truth, said)
            total += len(truth)
    model.train()
    return 1 - errors / max(1, total)


def main():
    work = sys.argv[1]
    os.makedirs(work, exist_ok=True)
    torch.set_num_threads(int(os.environ.get("THREADS", "2")))
    cache = os.path.join(work, "voices")
    train_voices = [load_voice(v, cache) for v in TRAIN_VOICES]
    held_out = [load_voice(v, cache) for v in HELD_OUT_VOICES]

    torch.manual_seed(SEED)
    model = Whisper(len(WORDS))
    optimizer = torch.optim.AdamW(model.parameters(), lr=PEAK_LR, weight_decay=0.0)
    aux = torch.nn.Linear(model.dims["state"], len(WORDS) + 1)
    optimizer.add_param_group({"params": aux.parameters()})
    rng = np.random.default_rng(SEED)
    check_rng = np.random.default_rng(SEED + 1)
    checks = []
    for _ in range(12):
        audio, _, words = make_window(check_rng, held_out, 30.0, 0.0, speech=True, without_timestamps=0.0)
        checks.append((log_mel(torch.from_numpy(audio)), words))

    step, seconds = 0, 0.0
    checkpoint = os.path.join(work, "checkpoint.pt")
    if os.path.exists(checkpoint):
        state = torch.load(checkpoint)
        model.load_state_dict(state["model"])
        aux.load_state_dict(state["aux"])
        optimizer.load_state_dict(state["optimizer"])
        rng.bit_generator.state = state["rng"]
        torch.set_rng_state(state["torch_rng"])
        step, seconds = state["step"], state["seconds"]
        print(f"resumed at step {step}", flush=True)

    log = open(os.path.join(work, "log.tsv"), "a")
    last_save = time.time()
    while step < PHASE_A_STEPS + PHASE_B_STEPS:
        started = time.time()
        for group in optimizer.param_groups:
            group["lr"] = learning_rate(step)
        mel, tokens, labels, offset = batch(rng, train_voices, step)
        audio = model.encoder(mel, offset)
        logits, _ = model.decoder(tokens[:, :-1].clamp(min=0), audio)
        targets = tokens[:, 1:]
        targets = torch.where(targets >= 0, model.decoder.compact[targets.clamp(min=0)], targets)
        loss = F.cross_entropy(logits.reshape(-1, logits.shape[-1]), targets.reshape(-1), ignore_index=-100)
        aux_loss = F.cross_entropy(aux(audio).reshape(-1, len(WORDS) + 1), labels.reshape(-1))
        total = loss + (AUX_WEIGHT * aux_loss if step < PHASE_A_STEPS else 0.1 * aux_loss)
        optimizer.zero_grad()
        total.backward()
        torch.nn.utils.clip_grad_norm_(model.parameters(), 1.0)
        optimizer.step()
        step += 1
        seconds += time.time() - started
        if step % 10 == 0:
            print(f"step {step} loss {loss.item():.3f} aux {aux_loss.item():.3f} {seconds:.0f}s", flush=True)
        if step % CHECK_EVERY == 0 or step == PHASE_A_STEPS + PHASE_B_STEPS:
            accuracy = check(model, checks)
            log.write(f"{step}\t{seconds:.0f}\t{accuracy:.4f}\t{loss.item():.4f}\n")
            log.flush()
            print(f"check step {step}: held-out word accuracy {accuracy:.3f}", flush=True)
        if time.time() - last_save > 300 or step % CHECK_EVERY == 0:
            state = {"model": model.state_dict(), "aux": aux.state_dict(), "optimizer": optimizer.state_dict(),
                     "rng": rng.bit_generator.state, "torch_rng": torch.get_rng_state(), "step": step,
                     "seconds": seconds}
            torch.save(state, checkpoint + ".new")
            os.replace(checkpoint + ".new", checkpoint)
            torch.save({"dims": model.dims, "model": model.state_dict()}, os.path.join(work, "model.pt"))
            last_save = time.time()
    json.dump({"steps": step, "seconds": seconds}, open(os.path.join(work, "done.json"), "w"))


if __name__ == "__main__":
    main()
