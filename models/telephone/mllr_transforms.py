#!/usr/bin/env python3
"""Composes and averages MLLR mean transforms in the text format that
sphinxtrain's mllr_solve writes and pocketsphinx's -mllr reads.

The format, for one regression class: the class count (1), the stream
count, then per stream its dimension d, d rows of the matrix A, the bias b
and the variance scale h, all whitespace-separated. A Gaussian mean m of
that stream becomes A m + b.

  mllr_transforms.py compose FIRST SECOND OUT
      OUT applies FIRST, then SECOND: A = A2 A1, b = A2 b1 + b2, h = h1 h2.
  mllr_transforms.py mean OUT IN...
      OUT is the element-wise mean of the IN transforms, each weighted
      equally.

Written by hand because it is a few 13x13 products and averages, and the
training machines need nothing beyond the Python standard library.
"""
import sys


def read(path):
    tokens = open(path).read().split()
    pos = 0

    def take():
        nonlocal pos
        pos += 1
        return tokens[pos - 1]

    if int(take()) != 1:
        sys.exit(f"{path}: only single-class transforms are supported")
    streams = []
    for _ in range(int(take())):
        d = int(take())
        a = [[float(take()) for _ in range(d)] for _ in range(d)]
        b = [float(take()) for _ in range(d)]
        h = [float(take()) for _ in range(d)]
        streams.append((a, b, h))
    if pos != len(tokens):
        sys.exit(f"{path}: trailing data after the last stream")
    return streams


def write(path, streams):
    rows = ["1", str(len(streams))]
    for a, b, h in streams:
        rows.append(str(len(b)))
        rows += [" ".join(f"{x:.6f}" for x in row) for row in a]
        rows.append(" ".join(f"{x:.6f}" for x in b))
        rows.append(" ".join(f"{x:.6f}" for x in h))
    with open(path, "w") as out:
        out.write("\n".join(rows) + "\n")


def compose(first, second):
    out = []
    for (a1, b1, h1), (a2, b2, h2) in zip(first, second, strict=True):
        d = len(b1)
        a = [[sum(a2[i][k] * a1[k][j] for k in range(d)) for j in range(d)] for i in range(d)]
        b = [sum(a2[i][k] * b1[k] for k in range(d)) + b2[i] for i in range(d)]
        out.append((a, b, [x * y for x, y in zip(h1, h2)]))
    return out


def mean(transforms):
    n = len(transforms)
    out = []
    for streams in zip(*transforms, strict=True):
        d = len(streams[0][1])
        a = [[sum(s[0][i][j] for s in streams) / n for j in range(d)] for i in range(d)]
        b = [sum(s[1][i] for s in streams) / n for i in range(d)]
        h = [sum(s[2][i] for s in streams) / n for i in range(d)]
        out.append((a, b, h))
    return out


def main(argv):
    if len(argv) == 5 and argv[1] == "compose":
        write(argv[4], compose(read(argv[2]), read(argv[3])))
    elif len(argv) >= 4 and argv[1] == "mean":
        write(argv[2], mean([read(p) for p in argv[3:]]))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
