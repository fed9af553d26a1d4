#!/usr/bin/env python3
"""Scores transcripts of the trained model's checking set against the true
words and times (models/closed-vocabulary/heldout_set.py).

Usage: word_times.py [--exact] SET_DIR LABEL:FORMAT:DOC_DIR [LABEL:FORMAT:DOC_DIR ...]
  FORMAT vorn: DOC_DIR/NAME.wav.json holds vorn-speech's document;
  FORMAT cli:  DOC_DIR/NAME.json holds whisper-cli's -oj output (one
               segment per word with -ml 1).

Words are compared in lower case without punctuation; a segment of several
words (whisper-cli) shares its span out evenly. Word error rate is the
word-level edit distance over the true words; start and end errors are
taken over the words the alignment pairs with an equal true word, and
again over the words "in runs": those paired inside a run of RUN or more
true words heard right one after another. With a model that mishears many
words the alignment also pairs equal words said seconds apart, and those
pairs measure the words, not the times; a run of right words (not all
the same word) cannot be chance, so its times are the times' own error.
Words written in a "speechless" stretch (or anywhere in a recording with
no speech) are counted as made up.

--exact is for a model that hears nearly every word right (the synthetic
language's): no runs, but the share of starts within 50 ms and the worst
start or end error of any paired word.
"""
import glob
import json
import os
import re
import statistics
import sys

from alignment import align

RUN = 3


def normal(word):
    return re.sub(r"[^0-9a-z']", "", word.lower())


def read_vorn(path):
    with open(path) as f:
        document = json.load(f)
    return [(normal(s["text"]), s["start"], s["end"]) for s in document["segments"] if normal(s["text"])]


def read_cli(path):
    with open(path) as f:
        document = json.load(f)
    words = []
    for segment in document.get("transcription", []):
        start, end = segment["offsets"]["from"] / 1000, segment["offsets"]["to"] / 1000
        parts = [normal(p) for p in segment["text"].split()]
        parts = [p for p in parts if p]
        for i, p in enumerate(parts):
            step = (end - start) / len(parts)
            words.append((p, start + i * step, start + (i + 1) * step))
    return words


def in_runs(pairs, words):
    """The pairs that lie in a run of RUN or more consecutive true words
    paired with consecutive heard words, not all of them the same word (a
    model that writes one word over and over matches runs of it by chance).
    words: the true words, which pairs index first."""
    kept, run = [], []
    for pair in pairs + [None]:
        if pair is not None and run and pair == (run[-1][0] + 1, run[-1][1] + 1):
            run.append(pair)
            continue
        if len(run) >= RUN and len({words[i] for i, _ in run}) > 1:
            kept += run
        run = [pair] if pair is not None else []
    return kept


def percentile(values, p):
    if not values:
        return float("nan")
    values = sorted(values)
    return values[min(len(values) - 1, int(round(p / 100 * (len(values) - 1))))]


def spread(values):
    """(median, 90th percentile), NaN for no values."""
    return (statistics.median(values) if values else float("nan")), percentile(values, 90)


def score(set_dir, fmt, doc_dir):
    errors = total = made_up = missing = 0
    starts, ends, run_starts, run_ends = [], [], [], []
    for truth_path in sorted(glob.glob(os.path.join(set_dir, "*.truth.json"))):
        name = os.path.basename(truth_path)[:-len(".truth.json")]
        with open(truth_path) as f:
            truth = json.load(f)
        path = os.path.join(doc_dir, name + (".wav.json" if fmt == "vorn" else ".json"))
        if os.path.exists(path):
            said = read_vorn(path) if fmt == "vorn" else read_cli(path)
        else:
            said, missing = [], missing + 1
        true_words = [(normal(w["word"]), w["start"], w["end"]) for w in truth["words"]]
        for word, start, end in said:
            middle = (start + end) / 2
            if any(a <= middle < b for a, b in truth["speechless"]):
                made_up += 1
        e, pairs = align([w[0] for w in true_words], [w[0] for w in said])
        errors += e
        total += len(true_words)
        # (start, end) error in ms of every paired word.
        error = {(i, j): (abs(said[j][1] - true_words[i][1]) * 1000, abs(said[j][2] - true_words[i][2]) * 1000)
                 for i, j in pairs}
        for pair in pairs:
            starts.append(error[pair][0])
            ends.append(error[pair][1])
        for pair in in_runs(pairs, [w[0] for w in true_words]):
            run_starts.append(error[pair][0])
            run_ends.append(error[pair][1])
    return {
        "words": total, "wer": 100 * errors / max(1, total), "made_up": made_up, "missing": missing,
        "start": spread(starts), "end": spread(ends),
        "in_runs": len(run_starts), "run_start": spread(run_starts), "run_end": spread(run_ends),
        "within_50": 100 * sum(e <= 50 for e in starts) / max(1, len(starts)),
        "worst": max(starts + ends, default=float("nan")),
    }


def main():
    if sys.argv[1] == "--exact":
        exact(sys.argv[2], sys.argv[3:])
        return
    set_dir = sys.argv[1]
    print(f"{'':28} {'words':>6} {'WER%':>6} {'start ms med/p90':>17} {'end ms med/p90':>15} {'made up':>8}"
          f"   {'in runs':>7} {'start ms med/p90':>17} {'end ms med/p90':>15}")
    for spec in sys.argv[2:]:
        label, fmt, doc_dir = spec.split(":", 2)
        r = score(set_dir, fmt, doc_dir)
        note = f"  ({r['missing']} files without output)" if r["missing"] else ""
        print(f"{label:28} {r['words']:6d} {r['wer']:6.1f} {r['start'][0]:8.0f}/{r['start'][1]:<8.0f}"
              f"{r['end'][0]:7.0f}/{r['end'][1]:<7.0f} {r['made_up']:8d}"
              f"   {r['in_runs']:7d} {r['run_start'][0]:8.0f}/{r['run_start'][1]:<8.0f}"
              f"{r['run_end'][0]:7.0f}/{r['run_end'][1]:<7.0f}{note}")


def exact(set_dir, specs):
    """For a model that hears (nearly) every word right, where every paired
    word's times are the times' own error: the share of starts within
    50 ms and the worst error besides median and 90th percentile."""
    print(f"{'':28} {'words':>6} {'WER%':>6} {'start ms med/p90':>17} {'end ms med/p90':>15}"
          f" {'starts <=50ms':>14} {'worst ms':>9} {'made up':>8}")
    for spec in specs:
        label, fmt, doc_dir = spec.split(":", 2)
        r = score(set_dir, fmt, doc_dir)
        note = f"  ({r['missing']} files without output)" if r["missing"] else ""
        print(f"{label:28} {r['words']:6d} {r['wer']:6.1f} {r['start'][0]:8.0f}/{r['start'][1]:<8.0f}"
              f"{r['end'][0]:7.0f}/{r['end'][1]:<7.0f} {r['within_50']:13.0f}% {r['worst']:9.0f}"
              f" {r['made_up']:8d}{note}")


if __name__ == "__main__":
    main()
