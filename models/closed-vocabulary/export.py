"""Writes a trained checkpoint (train.py's model.pt) as a whisper.cpp model
file: the ggml format whisper.cpp's loader reads, with f16 matrices and
convolutions and f32 for the rest, as its converters write the released
models (and as tests/support/random_whisper_model.cc writes random ones).

  /usr/bin/python3 export.py WORK_DIR/model.pt OUT.bin
"""

import struct
import sys

import torch

from model import AUDIO_CONTEXT, N_MELS, N_VOCAB, TEXT_CONTEXT, Whisper, mel_filters
from voices import WORDS

GGML_FILE_MAGIC = 0x67676D6C
FTYPE_F16 = 1
TYPE_F32, TYPE_F16 = 0, 1
STORED_TOKENS = 50257
EOT = 50256


def vocabulary(words):
    """The 50,257 stored tokens: the model's words first (token i is
    words[i] with its leading space), then the pieces whisper.cpp looks up
    by name, then placeholders the model never writes."""
    tokens = [" " + w for w in words] + [" ", " -", " '"]
    tokens += [f"unused{i}" for i in range(len(tokens), EOT)]
    tokens.append("<|endoftext|>")
    assert len(tokens) == STORED_TOKENS
    return tokens


def stored_type(name, tensor):
    if name.endswith("positional_embedding") or name.endswith(".bias"):
        return TYPE_F32
    if ".conv" in name and name.endswith(".weight"):
        return TYPE_F16
    return TYPE_F16 if tensor.dim() == 2 else TYPE_F32


def write(checkpoint, out_path, words=WORDS):
    saved = torch.load(checkpoint)
    dims = dict(saved["dims"])
    # whisper.cpp refuses a model without encoder layers; one trained
    # without any is written with one that adds nothing (its attention and
    # MLP outputs are zero, so the residual passes the input through).
    trained_without_encoder_layers = dims["audio_layers"] == 0
    dims["audio_layers"] = max(1, dims["audio_layers"])
    model = Whisper(**dims)
    model.load_state_dict(saved["model"], strict=not trained_without_encoder_layers)
    if trained_without_encoder_layers:
        block = model.encoder.blocks[0]
        with torch.no_grad():
            for layer in (block.attn.out, block.mlp[2]):
                layer.weight.zero_()
                layer.bias.zero_()
    state, heads = dims["state"], dims["heads"]
    tensors = dict(model.state_dict())
    # Every token the model was not trained on gets the shared row that
    # stood for them all in training.
    compact = tensors["decoder.token_embedding.weight"]
    full = compact[-1].repeat(N_VOCAB, 1)
    full[model.decoder.used] = compact[:-1]
    tensors["decoder.token_embedding.weight"] = full

    with open(out_path, "wb") as out:
        out.write(struct.pack("<i", GGML_FILE_MAGIC))
        out.write(struct.pack("<11i", N_VOCAB, AUDIO_CONTEXT, state, heads, dims["audio_layers"], TEXT_CONTEXT,
                              state, heads, dims["text_layers"], N_MELS, FTYPE_F16))
        filters = mel_filters()
        out.write(struct.pack("<2i", *filters.shape))
        out.write(filters.astype("<f4").tobytes())
        tokens = vocabulary(words)
        out.write(struct.pack("<i", len(tokens)))
        for token in tokens:
            data = token.encode("utf-8")
            out.write(struct.pack("<i", len(data)))
            out.write(data)
        for name, tensor in tensors.items():
            if name.endswith("decoder.mask"):
                continue
            tensor = tensor.detach().float()
            if name.endswith("conv1.bias") or name.endswith("conv2.bias"):
                tensor = tensor.reshape(-1, 1)  # whisper.cpp's shape: (1, state)
            kind = stored_type(name, tensor)
            shape = list(reversed(tensor.shape))  # ggml lists the fastest-varying dimension first
            encoded = name.encode()
            out.write(struct.pack("<3i", len(shape), len(encoded), kind))
            out.write(struct.pack(f"<{len(shape)}i", *shape))
            out.write(encoded)
            values = tensor.numpy().astype("<f2" if kind == TYPE_F16 else "<f4")
            out.write(values.tobytes())


if __name__ == "__main__":
    write(sys.argv[1], sys.argv[2])
