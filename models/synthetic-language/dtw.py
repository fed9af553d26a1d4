"""whisper.cpp's word alignment, step for step, in numpy: what its
whisper_exp_compute_token_level_timestamps_dtw does with the alignment
heads' cross-attention, so that a model can be judged by the times
whisper.cpp will give it before it is exported.

whisper.cpp decodes [start of transcript, no-timestamps, the text tokens,
end of text] once more and keeps the cross-attention of the alignment heads.
For every head and audio position it normalizes the weights across the
tokens (mean 0, variance 1), smooths them along the audio with a median
filter 7 positions wide (reflecting at the edges), averages the heads,
drops the start-of-transcript row and the end-of-text row, and runs dynamic
time warping over minus that. A text token's time (t_dtw) is where the path
first enters the row after its own: the row of the token that predicts the
next one, so it is the token's end.
"""

import numpy as np

MEDIAN_WIDTH = 7


def _median_filter(x, width):
    """Median along the last axis with reflect padding, as whisper.cpp's."""
    half = width // 2
    n = x.shape[-1]
    index = np.arange(n)[:, None] + np.arange(-half, half + 1)[None, :]
    index = np.where(index < 0, -index, index)
    index = np.where(index >= n, 2 * (n - 1) - index, index)
    return np.median(x[..., index], axis=-1)


def _dtw(cost):
    """whisper.cpp's dtw_and_backtrace: cost is (rows, positions); returns
    the path as (row, position) pairs from the start."""
    rows, cols = cost.shape
    total = np.full((rows + 1, cols + 1), np.inf, dtype=np.float32)
    trace = np.full((rows + 1, cols + 1), -1, dtype=np.int8)
    total[0, 0] = 0.0
    for j in range(1, cols + 1):
        for i in range(1, rows + 1):
            c0, c1, c2 = total[i - 1, j - 1], total[i - 1, j], total[i, j - 1]
            if c0 < c1 and c0 < c2:
                c, t = c0, 0
            elif c1 < c0 and c1 < c2:
                c, t = c1, 1
            else:
                c, t = c2, 2
            total[i, j] = cost[i - 1, j - 1] + c
            trace[i, j] = t
    trace[0, :] = 2
    trace[:, 0] = 1
    i, j = rows, cols
    path = []
    while i > 0 or j > 0:
        path.append((i - 1, j - 1))
        t = trace[i, j]
        if t == 0:
            i, j = i - 1, j - 1
        elif t == 1:
            i -= 1
        else:
            j -= 1
    return path[::-1]


def token_ends(weights, audio_positions, prefix=1):
    """Each text token's t_dtw in audio positions (20 ms each).

    weights: (heads, rows, positions) cross-attention of the alignment
    heads over the rows of [start of transcript (and `prefix` - 1 more
    prompt tokens), no-timestamps, text..., end of text]; audio_positions:
    how many positions hold audio (whisper.cpp's n_frames / 2)."""
    w = np.asarray(weights, dtype=np.float32)[:, :, :audio_positions]
    mean = w.mean(axis=1, keepdims=True)
    var = ((w - mean) ** 2).mean(axis=1, keepdims=True)
    w = (w - mean) / np.sqrt(var + 1e-9)
    w = _median_filter(w, MEDIAN_WIDTH)
    matrix = -w.mean(axis=0)[prefix:-1]  # the no-timestamps row, then the text rows
    ends = []
    last = 0
    for row, position in _dtw(matrix):
        if row != last:
            ends.append(position)
            last = row
    return ends


def boundaries_in_gaps(ends, words, tolerance_s=0.02):
    """How many of the words' boundaries the alignment puts in the right
    gap, and how many there are. A boundary is a word's end (its token's
    t_dtw, 20 ms per position): right when it falls between that word's end
    and the next word's start (for the last word: after its end), within
    `tolerance_s`."""
    right = 0
    for k, (_, _, end) in enumerate(words):
        if k >= len(ends):
            break
        t = ends[k] * 0.02
        upper = words[k + 1][1] if k + 1 < len(words) else np.inf
        right += end - tolerance_s <= t <= upper + tolerance_s
    return right, len(words)
