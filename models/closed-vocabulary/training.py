"""What the training scripts of the whisper models trained here share:
greedy decoding for the checks, the word edit distance, and resumable
checkpoints (models/closed-vocabulary/train.py,
models/synthetic-language/learn.py)."""

import os
import time

import numpy as np
import torch

from model import EOT, FIRST_TIMESTAMP, SOT


def greedy(model, mel, max_tokens):
    """Plain greedy decoding with whisper's first rule only: the first
    token is a timestamp of at most 1 s."""
    audio = model.encoder(mel[None])
    tokens = [SOT]
    used = model.decoder.used
    for _ in range(max_tokens):
        logits = model.decoder(torch.tensor([tokens]), audio)[0][0, -1, :-1]
        if len(tokens) == 1:
            logits[(used < FIRST_TIMESTAMP) | (used > FIRST_TIMESTAMP + 50)] = -np.inf
        token = int(used[int(logits.argmax())])
        tokens.append(token)
        if token == EOT:
            break
    return tokens


def edit_distance(a, b):
    d = list(range(len(b) + 1))
    for i in range(1, len(a) + 1):
        prev, d[0] = d[0], i
        for j in range(1, len(b) + 1):
            prev, d[j] = d[j], min(d[j] + 1, d[j - 1] + 1, prev + (a[i - 1] != b[j - 1]))
    return d[len(b)]


class Checkpoints:
    """WORK_DIR/checkpoint.pt (all a run needs to carry on: the model, the
    auxiliary head, the optimizer, both random generators, the step and the
    seconds of training) and WORK_DIR/model.pt (what the exporter reads)."""

    def __init__(self, work, model, aux, optimizer, rng):
        self.path = os.path.join(work, "checkpoint.pt")
        self.model_path = os.path.join(work, "model.pt")
        self.model, self.aux, self.optimizer, self.rng = model, aux, optimizer, rng
        self.last_save = time.time()

    def resume(self):
        """(step, seconds) of the saved run, or (0, 0.0) when there is none."""
        if not os.path.exists(self.path):
            return 0, 0.0
        state = torch.load(self.path)
        self.model.load_state_dict(state["model"])
        self.aux.load_state_dict(state["aux"])
        self.optimizer.load_state_dict(state["optimizer"])
        self.rng.bit_generator.state = state["rng"]
        torch.set_rng_state(state["torch_rng"])
        print(f"resumed at step {state['step']}", flush=True)
        return state["step"], state["seconds"]

    def save(self, step, seconds, now=False):
        """Saves when `now` or when five minutes have passed since the last."""
        if not now and time.time() - self.last_save <= 300:
            return
        state = {"model": self.model.state_dict(), "aux": self.aux.state_dict(),
                 "optimizer": self.optimizer.state_dict(), "rng": self.rng.bit_generator.state,
                 "torch_rng": torch.get_rng_state(), "step": step, "seconds": seconds}
        torch.save(state, self.path + ".new")
        os.replace(self.path + ".new", self.path)
        torch.save({"dims": self.model.dims, "model": self.model.state_dict()}, self.model_path)
        self.last_save = time.time()
