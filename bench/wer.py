#!/usr/bin/env python3
"""Word error rate of hypotheses against reference transcriptions.

Usage: wer.py REFERENCE HYPOTHESES

Both files hold one utterance a line in the CMU Sphinx style,
"words words ... (id)", the id in parentheses at the end (anything after the
id inside the parentheses, such as a score, is ignored). Words are compared
case-insensitively; <s> and </s> are ignored. An id missing from HYPOTHESES
counts as an empty hypothesis.

Prints one line per reference utterance, "id errors words", then
"TOTAL errors words wer%", where errors is the word-level edit distance
(substitutions + deletions + insertions) and wer% is errors / words over all
utterances.
"""
import re
import sys

TAG = re.compile(r"\(([^()]*)\)\s*$")


def parse(path):
    utterances = {}
    with open(path, encoding="utf-8") as lines:
        for line in lines:
            match = TAG.search(line)
            if not match:
                continue
            key = match.group(1).split()[0] if match.group(1).split() else ""
            words = [w for w in line[: match.start()].lower().split() if w not in ("<s>", "</s>")]
            utterances[key] = words
    return utterances


def edit_distance(reference, hypothesis):
    row = list(range(len(hypothesis) + 1))
    for i, ref_word in enumerate(reference, 1):
        previous, row[0] = row[:], i
        for j, hyp_word in enumerate(hypothesis, 1):
            row[j] = min(previous[j] + 1, row[j - 1] + 1, previous[j - 1] + (ref_word != hyp_word))
    return row[-1]


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    references = parse(sys.argv[1])
    hypotheses = parse(sys.argv[2])
    total_errors = total_words = 0
    for key, reference in references.items():
        errors = edit_distance(reference, hypotheses.get(key, []))
        print(f"{key} {errors} {len(reference)}")
        total_errors += errors
        total_words += len(reference)
    print(f"TOTAL {total_errors} {total_words} {100.0 * total_errors / max(total_words, 1):.1f}%")


if __name__ == "__main__":
    main()
