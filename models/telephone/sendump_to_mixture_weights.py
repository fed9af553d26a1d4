#!/usr/bin/env python3
"""Writes the mixture weights of a pocketsphinx model's sendump as the s3
mixture_weights file that sphinxtrain's bw reads.

Usage: sendump_to_mixture_weights.py SENDUMP MIXTURE_WEIGHTS

Debian's acoustic model ships its mixture weights only in pocketsphinx's
compressed form; the training tools read the s3 form. Written here because
sphinxtrain's own converter is Python 2 and needs numpy.

The sendump layout (unclustered, as in Debian's en-us model): length-prefixed
header strings ending with an empty one; the codeword count and the senone
count; then for each feature stream and each codeword, one byte per senone.
A byte b stands for the weight 1.0001 ** -(b << shift), shift 10 unless a
"mixw_shift" header says otherwise.

The s3 file: a text header ("s3", "version 1.0", a checksum line,
"endhdr" placed so that the binary part is 4-byte aligned), the byte-order
word 0x11223344, the dimensions (senones, streams, codewords) and their
product, the weights as float32 in senone, stream, codeword order, then the
checksum. The checksum runs over the three dimension words, their product
and every weight's bits: sum = (sum << 20 | sum >> 12) + word, on 32 bits.
"""
import array
import struct
import sys


def read_sendump(path):
    with open(path, "rb") as f:
        data = f.read()
    order = "<"
    (first,) = struct.unpack_from("<I", data, 0)
    if first > 65536:
        order = ">"
    pos = 0

    def word():
        nonlocal pos
        (value,) = struct.unpack_from(order + "I", data, pos)
        pos += 4
        return value

    shift = 10
    streams = 1
    clusters = 0
    while True:
        length = word()
        if length == 0:
            break
        text = data[pos:pos + length].rstrip(b"\0").decode("ascii", "replace")
        pos += length
        fields = text.split()
        if len(fields) == 2 and fields[1].isdigit():
            if fields[0] == "mixw_shift":
                shift = int(fields[1])
            elif fields[0] == "feature_count":
                streams = int(fields[1])
            elif fields[0] == "cluster_count":
                clusters = int(fields[1])
    if clusters != 0:
        sys.exit("clustered sendump files are not supported")
    codewords = word()
    senones = word()
    expected = pos + streams * codewords * senones
    if len(data) != expected:
        sys.exit(f"sendump size {len(data)} does not match its dimensions (expected {expected})")
    # weights[senone][stream][codeword]
    table = [1.0001 ** -(b << shift) for b in range(256)]
    weights = array.array("f", bytes(4 * senones * streams * codewords))
    for stream in range(streams):
        for codeword in range(codewords):
            row = data[pos:pos + senones]
            pos += senones
            for senone, b in enumerate(row):
                weights[(senone * streams + stream) * codewords + codeword] = table[b]
    return (senones, streams, codewords), weights


def write_s3(path, dims, weights):
    header = b"s3\nversion 1.0\nchksum0 yes\n"
    pad = (-(len(header) + len(b"endhdr\n"))) % 4
    header += b" " * pad + b"endhdr\n"
    if sys.byteorder != "little":
        weights.byteswap()
    checksum = 0

    def accumulate(value):
        nonlocal checksum
        checksum = (((checksum << 20) | (checksum >> 12)) + value) & 0xFFFFFFFF

    for d in (*dims, dims[0] * dims[1] * dims[2]):
        accumulate(d)
    for value in array.array("I", weights.tobytes()):
        accumulate(value)
    with open(path, "wb") as f:
        f.write(header)
        f.write(struct.pack("<I", 0x11223344))
        f.write(struct.pack("<4I", *dims, dims[0] * dims[1] * dims[2]))
        f.write(weights.tobytes())
        f.write(struct.pack("<I", checksum))


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__.split("\n\n")[1])
    dims, weights = read_sendump(sys.argv[1])
    write_s3(sys.argv[2], dims, weights)


if __name__ == "__main__":
    main()
