"""Trains the closed-vocabulary model: whisper's architecture at width 64
(model.py) on synthesized speech of the vocabulary in voices.py, laid out
in windows by windows.py, in whisper.cpp's English-only layout with
timestamp tokens.

  /usr/bin/python3 train.py WORK_DIR          # train (or resume)
  /usr/bin/python3 export.py WORK_DIR/model.pt OUT.bin

WORK_DIR gets the voices' clips (voices/), checkpoint.pt, model.pt (what
export.py reads) and log.tsv; THREADS sets torch's threads (default 2).
Checkpoints are saved every CHECK_EVERY steps and at least every five
minutes, so a stop loses little: run it again with the same WORK_DIR and
it carries on.

Two phases, both seeded:
  A. 4-second crops at random places in the window, with two extra losses:
     a frame-level word loss on the encoder output, and guided
     cross-attention (the last decoder layer's heads onto the word each row
     predicts, one middle-layer head onto the word it has read);
  B. whole 30-second windows, as whisper.cpp decodes them.
Each line of WORK_DIR/log.tsv is one check on held-out voices: step,
seconds of training, word accuracy of greedy decoding on whole 30 s windows
(1 - word errors / words: insertions can make it negative), training loss.

make_model.sh runs this from nothing to the test fixture; README.md has the
committed run's learning curve and what the runs so far showed.
"""

import json
import os
import sys
import time

import numpy as np
import torch
import torch.nn.functional as F

from model import TIMESTAMP_STEP, Whisper, log_mel
from training import Checkpoints, edit_distance, greedy
from voices import HELD_OUT_VOICES, TRAIN_VOICES, WORDS, load_voice
from windows import frame_labels, make_window, position_centers

SEED = 20261211
CROP_S = 4.0
PHASE_A_STEPS, PHASE_A_BATCH = 2800, 16
PHASE_B_STEPS, PHASE_B_BATCH = 200, 4
# Phase A's learning rate warms up, then falls along a cosine to phase B's,
# which stays flat: whole windows need a rate that still moves the weights.
PEAK_LR, PHASE_B_LR, WARMUP = 3e-3, 3e-4, 100
AUX_WEIGHT = 1.0
GUIDE_WEIGHT = 0.5
CHECK_EVERY = 100


def learning_rate(step):
    if step < WARMUP:
        return PEAK_LR * (step + 1) / WARMUP
    if step >= PHASE_A_STEPS:
        return PHASE_B_LR
    progress = (step - WARMUP) / (PHASE_A_STEPS - WARMUP)
    return PHASE_B_LR + 0.5 * (PEAK_LR - PHASE_B_LR) * (1 + np.cos(np.pi * progress))


def word_positions(span, positions, offset_s):
    """The encoder positions (of a window or crop at `offset_s`) whose 20 ms
    lie inside a word's (start, end) span: at least the nearest one."""
    centers = position_centers(positions, offset_s)
    inside = (centers >= span[0]) & (centers < span[1])
    if not inside.any():
        inside[min(positions - 1, max(0, int((sum(span) / 2 - offset_s) / TIMESTAMP_STEP)))] = True
    return inside


def attention_guides(tokens, words, positions, offset_s):
    """Where two decoder heads should look, per decoder row (row i reads
    token i and predicts token i + 1), as (positions,) masks, or None:

    - "next": the frames of the word that row predicts. whisper.cpp's DTW
      aligns the row that predicts a word with that word, so these are the
      alignment heads' rows;
    - "current": the frames of the word the row reads, which tells the
      decoder where it is in the audio.
    Rows around timestamps and end of text get no guide."""
    rows = len(tokens) - 1
    next_guides, current_guides = [None] * rows, [None] * rows
    word = 0
    for i in range(rows):
        if tokens[i + 1] < len(WORDS):
            next_guides[i] = word_positions(words[word][1:], positions, offset_s)
            if i + 1 < rows:
                current_guides[i + 1] = next_guides[i]
            word += 1
    return next_guides, current_guides


def batch(rng, voices, step):
    crop = step < PHASE_A_STEPS
    size = PHASE_A_BATCH if crop else PHASE_B_BATCH
    length = CROP_S if crop else 30.0
    offset = int(rng.integers(0, int((30.0 - length) / TIMESTAMP_STEP) + 1)) * TIMESTAMP_STEP if crop else 0.0
    mels, token_lists, labels, guide_lists = [], [], [], []
    positions = int(length / TIMESTAMP_STEP)
    for _ in range(size):
        audio, tokens, words = make_window(rng, voices, length, offset)
        mels.append(log_mel(torch.from_numpy(audio)))
        token_lists.append(tokens)
        labels.append(frame_labels(words, positions, offset))
        guide_lists.append(attention_guides(tokens, words, positions, offset))
    width = max(len(t) for t in token_lists)
    tokens = torch.full((size, width), -100, dtype=torch.long)
    guides = torch.zeros((2, size, width - 1, positions))
    guided = torch.zeros((2, size, width - 1))
    for i, t in enumerate(token_lists):
        tokens[i, :len(t)] = torch.tensor(t)
        for kind in range(2):
            for row, mask in enumerate(guide_lists[i][kind]):
                if mask is not None:
                    guides[kind, i, row] = torch.from_numpy(mask.astype(np.float32))
                    guided[kind, i, row] = 1.0
    return (torch.stack(mels), tokens, torch.from_numpy(np.stack(labels)), int(round(offset / TIMESTAMP_STEP)),
            guides, guided)


def guide_loss(weights, guide, guided):
    """Minus the log of the attention a head gives the guided frames,
    averaged over guided rows. weights: (batch, rows, positions)."""
    inside = (weights * guide).sum(-1).clamp(min=1e-6)
    return -(inside.log() * guided).sum() / guided.sum().clamp(min=1.0)


def read_words(tokens):
    """The word indices of a decoded token sequence."""
    return [t for t in tokens[1:] if t < len(WORDS)]


def check(model, windows):
    model.eval()
    errors = total = 0
    with torch.no_grad():
        for mel, words in windows:
            said = read_words(greedy(model, mel, 120))
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

    checkpoints = Checkpoints(work, model, aux, optimizer, rng)
    step, seconds = checkpoints.resume()

    log = open(os.path.join(work, "log.tsv"), "a")
    while step < PHASE_A_STEPS + PHASE_B_STEPS:
        started = time.time()
        for group in optimizer.param_groups:
            group["lr"] = learning_rate(step)
        mel, tokens, labels, offset, guides, guided = batch(rng, train_voices, step)
        audio = model.encoder(mel, offset)
        logits, crosses = model.decoder(tokens[:, :-1].clamp(min=0), audio)
        targets = tokens[:, 1:]
        targets = torch.where(targets >= 0, model.decoder.compact[targets.clamp(min=0)], targets)
        loss = F.cross_entropy(logits.reshape(-1, logits.shape[-1]), targets.reshape(-1), ignore_index=-100)
        aux_loss = F.cross_entropy(aux(audio).reshape(-1, len(WORDS) + 1), labels.reshape(-1))
        # Every head of the last layer (whisper.cpp's alignment heads for a
        # model of this shape) looks at the word its row predicts; one head
        # of the middle layer at the word its row has just read.
        last = crosses[-1]
        attention_loss = sum(guide_loss(last[:, h], guides[0], guided[0]) for h in range(last.shape[1])) / last.shape[1]
        attention_loss = attention_loss + guide_loss(crosses[len(crosses) // 2][:, 0], guides[1], guided[1])
        total = loss + (AUX_WEIGHT * aux_loss if step < PHASE_A_STEPS else 0.1 * aux_loss) + GUIDE_WEIGHT * attention_loss
        optimizer.zero_grad()
        total.backward()
        torch.nn.utils.clip_grad_norm_(model.parameters(), 1.0)
        optimizer.step()
        step += 1
        seconds += time.time() - started
        if step % 10 == 0:
            print(f"step {step} loss {loss.item():.3f} aux {aux_loss.item():.3f} guide {attention_loss.item():.3f} "
                  f"{seconds:.0f}s", flush=True)
        if step % CHECK_EVERY == 0 or step == PHASE_A_STEPS + PHASE_B_STEPS:
            accuracy = check(model, checks)
            log.write(f"{step}\t{seconds:.0f}\t{accuracy:.4f}\t{loss.item():.4f}\n")
            log.flush()
            print(f"check step {step}: held-out word accuracy {accuracy:.3f}", flush=True)
        checkpoints.save(step, seconds, now=step % CHECK_EVERY == 0)
    json.dump({"steps": step, "seconds": seconds}, open(os.path.join(work, "done.json"), "w"))


if __name__ == "__main__":
    main()
