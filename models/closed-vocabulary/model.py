"""Whisper's architecture in PyTorch, with the parameter names whisper.cpp's
converter expects, so that the exporter writes each tensor under its own name.

Matches whisper.cpp's arithmetic where it can differ: GELU is the tanh form
ggml computes, layer norms use eps 1e-5, queries and keys are each scaled by
head_size ** -0.25, keys have no bias.
"""

import math

import numpy as np
import torch
from torch import nn
import torch.nn.functional as F

N_MELS = 80
N_FFT = 400
HOP = 160
SAMPLE_RATE = 16000
WINDOW_SAMPLES = 30 * SAMPLE_RATE
AUDIO_CONTEXT = 1500
TEXT_CONTEXT = 448

# whisper.cpp's English-only vocabulary layout.
N_VOCAB = 51864
EOT = 50256
SOT = 50257
NO_TIMESTAMPS = 50362
FIRST_TIMESTAMP = 50363
TIMESTAMP_STEP = 0.02


def mel_filters(n_mels=N_MELS):
    """Slaney-style triangular filters, 80 x 201, as the released models carry."""
    def hz_to_mel(hz):
        step, log_hz, log_step = 200.0 / 3, 1000.0, math.log(6.4) / 27
        return hz / step if hz < log_hz else log_hz / step + math.log(hz / log_hz) / log_step

    def mel_to_hz(mel):
        step, log_hz, log_step = 200.0 / 3, 1000.0, math.log(6.4) / 27
        log_mel = log_hz / step
        return mel * step if mel < log_mel else log_hz * math.exp(log_step * (mel - log_mel))

    bins = N_FFT // 2 + 1
    top = hz_to_mel(SAMPLE_RATE / 2)
    edges = [mel_to_hz(top * i / (n_mels + 1)) for i in range(n_mels + 2)]
    filters = np.zeros((n_mels, bins), dtype=np.float32)
    for m in range(n_mels):
        norm = 2.0 / (edges[m + 2] - edges[m])
        for k in range(bins):
            hz = SAMPLE_RATE / 2 * k / (bins - 1)
            rising = (hz - edges[m]) / (edges[m + 1] - edges[m])
            falling = (edges[m + 2] - hz) / (edges[m + 2] - edges[m + 1])
            filters[m, k] = norm * max(0.0, min(rising, falling))
    return filters


_FILTERS = torch.from_numpy(mel_filters())
_HANN = torch.hann_window(N_FFT)


def log_mel(audio):
    """whisper.cpp's log-mel spectrogram of one window: (80, len // 160)."""
    stft = torch.stft(audio, N_FFT, HOP, window=_HANN, return_complex=True)
    power = stft[..., :-1].abs() ** 2
    log = torch.clamp(_FILTERS @ power, min=1e-10).log10()
    log = torch.maximum(log, log.max() - 8.0)
    return (log + 4.0) / 4.0


def sinusoids(length, channels):
    increment = math.log(10000) / (channels // 2 - 1)
    inv = torch.exp(-increment * torch.arange(channels // 2))
    scaled = torch.arange(length)[:, None] * inv[None, :]
    return torch.cat([torch.sin(scaled), torch.cos(scaled)], dim=1)


class MultiHeadAttention(nn.Module):
    def __init__(self, state, heads):
        super().__init__()
        self.heads = heads
        self.query = nn.Linear(state, state)
        self.key = nn.Linear(state, state, bias=False)
        self.value = nn.Linear(state, state)
        self.out = nn.Linear(state, state)

    def forward(self, x, source=None, mask=None):
        source = x if source is None else source
        b, t, d = x.shape
        size = d // self.heads
        scale = size ** -0.25
        q = self.query(x).view(b, t, self.heads, size).permute(0, 2, 1, 3) * scale
        k = self.key(source).view(b, -1, self.heads, size).permute(0, 2, 3, 1) * scale
        v = self.value(source).view(b, -1, self.heads, size).permute(0, 2, 1, 3)
        weights = q @ k
        if mask is not None:
            weights = weights + mask[:t, :t]
        weights = weights.softmax(-1)
        return self.out((weights @ v).permute(0, 2, 1, 3).reshape(b, t, d)), weights


def gelu(x):
    return F.gelu(x, approximate="tanh")


class Block(nn.Module):
    def __init__(self, state, heads, cross):
        super().__init__()
        self.attn = MultiHeadAttention(state, heads)
        self.attn_ln = nn.LayerNorm(state)
        self.cross_attn = MultiHeadAttention(state, heads) if cross else None
        self.cross_attn_ln = nn.LayerNorm(state) if cross else None
        self.mlp = nn.Sequential(nn.Linear(state, 4 * state), nn.GELU(approximate="tanh"), nn.Linear(4 * state, state))
        self.mlp_ln = nn.LayerNorm(state)

    def forward(self, x, audio=None, mask=None):
        x = x + self.attn(self.attn_ln(x), mask=mask)[0]
        cross = None
        if self.cross_attn is not None:
            y, cross = self.cross_attn(self.cross_attn_ln(x), audio)
            x = x + y
        return x + self.mlp(self.mlp_ln(x)), cross


class Encoder(nn.Module):
    def __init__(self, state, heads, layers):
        super().__init__()
        self.conv1 = nn.Conv1d(N_MELS, state, 3, padding=1)
        self.conv2 = nn.Conv1d(state, state, 3, stride=2, padding=1)
        self.register_buffer("positional_embedding", sinusoids(AUDIO_CONTEXT, state))
        self.blocks = nn.ModuleList(Block(state, heads, False) for _ in range(layers))
        self.ln_post = nn.LayerNorm(state)

    def forward(self, mel, offset=0):
        """mel: (batch, 80, 2 n); `offset`: the encoder position of frame 0
        when training on a crop of the window."""
        x = gelu(self.conv1(mel))
        x = gelu(self.conv2(x)).permute(0, 2, 1)
        x = x + self.positional_embedding[offset:offset + x.shape[1]]
        for block in self.blocks:
            x = block(x)[0]
        return self.ln_post(x)


def used_tokens(words):
    """The vocabulary ids the model is trained on: the words (ids 0 ..
    words - 1), end and start of transcript, no-timestamps, every timestamp."""
    return list(range(words)) + [EOT, SOT, NO_TIMESTAMPS] + list(range(FIRST_TIMESTAMP, N_VOCAB))


class Decoder(nn.Module):
    """Trained on the tokens in use only, plus one shared row standing for
    every other token of the vocabulary (the exporter copies it to each of
    them): its logit carries log(their count), so the softmax is exactly the
    one over the whole vocabulary that whisper.cpp computes, at a thirtieth
    of the cost."""

    def __init__(self, state, heads, layers, words):
        super().__init__()
        used = used_tokens(words)
        self.register_buffer("used", torch.tensor(used), persistent=False)
        compact = torch.full((N_VOCAB,), len(used), dtype=torch.long)
        compact[self.used] = torch.arange(len(used))
        self.register_buffer("compact", compact, persistent=False)
        self.others = math.log(N_VOCAB - len(used))
        self.token_embedding = nn.Embedding(len(used) + 1, state)
        # Fixed sinusoids rather than learned rows: training crops hold a
        # dozen tokens and whole windows sixty, and positions no crop
        # reached would keep their random start. Sinusoids tell every row
        # its neighbours' distance the same way at any position.
        self.register_buffer("positional_embedding", sinusoids(TEXT_CONTEXT, state) * 0.1)
        self.blocks = nn.ModuleList(Block(state, heads, True) for _ in range(layers))
        self.ln = nn.LayerNorm(state)
        self.register_buffer("mask", torch.full((TEXT_CONTEXT, TEXT_CONTEXT), -np.inf).triu_(1), persistent=False)

    def forward(self, tokens, audio):
        """tokens: vocabulary ids; returns logits over `used` and, last, the
        row that stands for all other tokens."""
        x = self.token_embedding(self.compact[tokens]) + self.positional_embedding[:tokens.shape[1]]
        crosses = []
        for block in self.blocks:
            x, cross = block(x, audio, self.mask)
            crosses.append(cross)
        x = self.ln(x)
        logits = x @ self.token_embedding.weight.T
        logits[..., -1] += self.others
        return logits, crosses


class Whisper(nn.Module):
    def __init__(self, words, state=64, heads=2, audio_layers=2, text_layers=3):
        super().__init__()
        self.dims = dict(words=words, state=state, heads=heads, audio_layers=audio_layers, text_layers=text_layers)
        self.encoder = Encoder(state, heads, audio_layers)
        self.decoder = Decoder(state, heads, text_layers, words)
        with torch.no_grad():
            self.decoder.token_embedding.weight.normal_(0, 0.02)
            # Timestamp i names encoder position i: starting its embedding
            # from that position's sinusoid lets the decoder find it at once.
            first = words + 3  # used_tokens' first timestamp
            self.decoder.token_embedding.weight[first:first + AUDIO_CONTEXT] = self.encoder.positional_embedding * 0.1
