"""Trains the synthetic-language model: whisper's architecture at width 128
(2 heads, 4 text layers, no encoder self-attention) on corpus.py's windows.

  /usr/bin/python3 learn.py WORK_DIR      # train (or resume)

WORK_DIR gets bank.npz (the training clips, made once), checkpoint.pt, model.pt (what write_model.py reads) and
log.tsv; THREADS sets torch's threads (default 2). A checkpoint is saved
every CHECK_EVERY steps and at least every five minutes: run it again with
the same WORK_DIR and it carries on.

What each choice is for:
- No encoder self-attention: every encoder position sees only the 70 ms its
  two convolutions reach, which is enough to name a word of this language
  and makes whole 30 s windows cheap to train on from the first step.
- The alignment heads (every head of the top two of the four text layers,
  the ones whisper.cpp aligns with for a shape it does not know) are
  taught to spread their attention over the whole word their row predicts:
  whisper.cpp smooths the attention over 7 positions, which wipes out a
  narrow peak. One head of the second layer is taught to look at the word
  its row has just read, which tells the decoder where it is.
- A frame-level word loss on the encoder output teaches the encoder the
  words directly.
Each line of log.tsv: step, seconds of training, held-out word accuracy of
greedy decoding (1 - word errors / words), share of held-out word
boundaries whisper.cpp's alignment puts in the right gap (dtw.py), loss.
"""

import os
import sys
import time

import numpy as np
import torch
import torch.nn.functional as F

sys.path.append(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "closed-vocabulary"))
from model import EOT, NO_TIMESTAMPS, SOT, Whisper, log_mel  # noqa: E402
from training import Checkpoints, edit_distance, greedy  # noqa: E402

from corpus import ClipBank, frame_labels, lay_words, training_window, word_positions  # noqa: E402
from dtw import boundaries_in_gaps, token_ends  # noqa: E402
from language import WORDS  # noqa: E402

SEED = 20261211
CHECK_SEED = 777
DIMS = dict(words=len(WORDS), state=128, heads=2, audio_layers=0, text_layers=4)
ALIGNMENT_LAYERS = [2, 3]
STEPS, BATCH = 2000, 6
PEAK_LR, FINAL_LR, WARMUP = 2e-3, 1e-4, 150
AUX_WEIGHT, GUIDE_WEIGHT = 1.0, 0.3
CHECK_EVERY = 500
CHECK_WINDOWS = 4


def learning_rate(step):
    if step < WARMUP:
        return PEAK_LR * (step + 1) / WARMUP
    progress = min(1.0, (step - WARMUP) / (STEPS - WARMUP))
    return FINAL_LR + 0.5 * (PEAK_LR - FINAL_LR) * (1 + np.cos(np.pi * progress))


def guides(tokens, words):
    """Per decoder row (row i reads token i, predicts token i + 1): the
    positions of the word it predicts, and of the word it has just read."""
    rows = len(tokens) - 1
    predicts, read = [None] * rows, [None] * rows
    k = 0
    for i in range(rows):
        if tokens[i + 1] < len(WORDS):
            predicts[i] = word_positions(words[k][1:])
            if i + 1 < rows:
                read[i + 1] = predicts[i]
            k += 1
    return predicts, read


def batch(rng, bank):
    mels, token_lists, labels, guide_lists = [], [], [], []
    for _ in range(BATCH):
        audio, tokens, words = training_window(rng, bank)
        mels.append(log_mel(torch.from_numpy(audio)))
        token_lists.append(tokens)
        labels.append(frame_labels(words))
        guide_lists.append(guides(tokens, words))
    width = max(len(t) for t in token_lists)
    tokens = torch.full((BATCH, width), -100, dtype=torch.long)
    masks = torch.zeros((2, BATCH, width - 1, 1500))
    guided = torch.zeros((2, BATCH, width - 1))
    for b, t in enumerate(token_lists):
        tokens[b, :len(t)] = torch.tensor(t)
        for kind in range(2):
            for row, mask in enumerate(guide_lists[b][kind]):
                if mask is not None:
                    masks[kind, b, row] = torch.from_numpy(mask.astype(np.float32))
                    guided[kind, b, row] = 1.0
    return torch.stack(mels), tokens, torch.from_numpy(np.stack(labels)), masks, guided


def spread_loss(weights, mask, guided):
    """Cross-entropy of a head's attention against the even spread over the
    guided positions, averaged over guided rows. weights: (batch, rows,
    positions)."""
    count = mask.sum(-1).clamp(min=1.0)
    per_row = -(weights.clamp(min=1e-8).log() * mask).sum(-1) / count
    return (per_row * guided).sum() / guided.sum().clamp(min=1.0)


def alignment_weights(model, mel, text):
    """The alignment heads' cross-attention over [SOT, no-timestamps, text,
    EOT], as whisper.cpp's alignment pass computes it: (heads, rows, 1500)."""
    tokens = torch.tensor([[SOT, NO_TIMESTAMPS] + list(text) + [EOT]])
    _, crosses = model.decoder(tokens, model.encoder(mel[None]))
    return torch.cat([crosses[layer][0] for layer in ALIGNMENT_LAYERS]).numpy()


def check(model, windows):
    model.eval()
    errors = total = right = boundaries = 0
    with torch.no_grad():
        for mel, words, positions in windows:
            truth = [w for w, _, _ in words]
            said = [t for t in greedy(model, mel, 160)[1:] if t < len(WORDS)]
            errors += edit_distance(truth, said)
            total += len(truth)
            ends = token_ends(alignment_weights(model, mel, truth), positions)
            r, n = boundaries_in_gaps(ends, words)
            right, boundaries = right + r, boundaries + n
    model.train()
    return 1 - errors / max(1, total), right / max(1, boundaries)


def checking_windows():
    """Windows in voices no training step hears (another bank's seed), as
    the tool packs them and as they come, with how many positions hold
    audio."""
    rng = np.random.default_rng(CHECK_SEED)
    bank = ClipBank(CHECK_SEED, voices=12, per_voice=1)
    windows = []
    for i in range(CHECK_WINDOWS):
        audio, words = lay_words(rng, bank, "dense" if i % 2 else "natural")
        last = words[-1][2] if words else 1.0
        windows.append((log_mel(torch.from_numpy(audio)), words, min(1500, int(last / 0.02) + 10)))
    return windows


def main():
    work = sys.argv[1]
    os.makedirs(work, exist_ok=True)
    torch.set_num_threads(int(os.environ.get("THREADS", "2")))
    bank_path = os.path.join(work, "bank.npz")
    if not os.path.exists(bank_path):
        print("synthesizing the clip bank...", flush=True)
        ClipBank(SEED, voices=300, per_voice=2).save(bank_path + ".tmp.npz")
        os.replace(bank_path + ".tmp.npz", bank_path)
    bank = ClipBank.load(bank_path)
    checks = checking_windows()

    torch.manual_seed(SEED)
    model = Whisper(**DIMS)
    aux = torch.nn.Linear(DIMS["state"], len(WORDS) + 1)
    optimizer = torch.optim.AdamW(list(model.parameters()) + list(aux.parameters()), lr=PEAK_LR,
                                  weight_decay=0.0)
    rng = np.random.default_rng(SEED)
    checkpoints = Checkpoints(work, model, aux, optimizer, rng)
    step, seconds = checkpoints.resume()

    log = open(os.path.join(work, "log.tsv"), "a")
    while step < STEPS:
        started = time.time()
        for group in optimizer.param_groups:
            group["lr"] = learning_rate(step)
        mel, tokens, labels, masks, guided = batch(rng, bank)
        audio = model.encoder(mel)
        logits, crosses = model.decoder(tokens[:, :-1].clamp(min=0), audio)
        targets_ = tokens[:, 1:]
        targets_ = torch.where(targets_ >= 0, model.decoder.compact[targets_.clamp(min=0)], targets_)
        loss = F.cross_entropy(logits.reshape(-1, logits.shape[-1]), targets_.reshape(-1), ignore_index=-100)
        aux_loss = F.cross_entropy(aux(audio).reshape(-1, len(WORDS) + 1), labels.reshape(-1))
        heads = [crosses[layer][:, h] for layer in ALIGNMENT_LAYERS for h in range(DIMS["heads"])]
        guide = sum(spread_loss(w, masks[0], guided[0]) for w in heads) / len(heads)
        guide = guide + spread_loss(crosses[1][:, 0], masks[1], guided[1])
        total = loss + AUX_WEIGHT * aux_loss + GUIDE_WEIGHT * guide
        optimizer.zero_grad()
        total.backward()
        torch.nn.utils.clip_grad_norm_(model.parameters(), 1.0)
        optimizer.step()
        step += 1
        seconds += time.time() - started
        if step % 10 == 0:
            print(f"step {step} loss {loss.item():.3f} aux {aux_loss.item():.3f} guide {guide.item():.3f} "
                  f"{seconds:.0f}s", flush=True)
        if step % CHECK_EVERY == 0 or step == STEPS:
            accuracy, aligned = check(model, checks)
            log.write(f"{step}\t{seconds:.0f}\t{accuracy:.4f}\t{aligned:.4f}\t{loss.item():.4f}\n")
            log.flush()
            print(f"check step {step}: word accuracy {accuracy:.3f}, boundaries in the right gap {aligned:.3f}",
                  flush=True)
        checkpoints.save(step, seconds, now=step % CHECK_EVERY == 0 or step == STEPS)


if __name__ == "__main__":
    main()
