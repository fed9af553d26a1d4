#!/usr/bin/env python3
"""Word error rate of hypotheses against reference transcriptions.

Usage: wer.py [--written] REFERENCE HYPOTHESES

Both files hold one utterance a line in the CMU Sphinx style,
"words words ... (id)", the id in parentheses at the end (anything after the
id inside the parentheses, such as a score, is ignored). <s> and </s> are
ignored, and so is punctuation other than an apostrophe inside a word; a
hyphen separates words ("ill-disposed" is "ill disposed"). An id missing
from HYPOTHESES counts as an empty hypothesis.

By default words are compared case-insensitively and without punctuation.
With --written, the text is compared as written: case counts, and each
. , ? ! is a token of its own ("them." is "them" "."), except the stop of
the honorifics Mr. Mrs. Ms. Dr., which belongs to the word.

Prints one line per reference utterance, "id errors words", then
"TOTAL errors words wer%", where errors is the word-level edit distance
(substitutions + deletions + insertions) and wer% is errors / words over all
utterances.
"""
import re
import sys

from alignment import edit_distance

TAG = re.compile(r"\(([^()]*)\)\s*$")
HONORIFICS = {"mr.", "mrs.", "ms.", "dr."}
SENTENCE_MARKS = ".,?!"


def tokens(text, written):
    result = []
    for word in text.replace("-", " ").replace("\u2014", " ").split():
        if word in ("<s>", "</s>"):
            continue
        if written and word.lower() in HONORIFICS:
            result.append(word)
            continue
        marks = []
        while word and not (word[-1].isalnum() or word[-1] == "'"):
            if word[-1] in SENTENCE_MARKS:
                marks.insert(0, word[-1])
            word = word[:-1]
        word = word.strip("'\"(")
        if word:
            result.append(word if written else word.lower())
        if written:
            result.extend(marks)
    return result


def parse(path, written):
    utterances = {}
    with open(path, encoding="utf-8") as lines:
        for line in lines:
            match = TAG.search(line)
            if not match:
                continue
            key = match.group(1).split()[0] if match.group(1).split() else ""
            utterances[key] = tokens(line[: match.start()], written)
    return utterances


def main():
    args = sys.argv[1:]
    written = bool(args) and args[0] == "--written"
    if written:
        args = args[1:]
    if len(args) != 2:
        sys.exit(__doc__)
    references = parse(args[0], written)
    hypotheses = parse(args[1], written)
    total_errors = total_words = 0
    for key, reference in references.items():
        errors = edit_distance(reference, hypotheses.get(key, []))
        print(f"{key} {errors} {len(reference)}")
        total_errors += errors
        total_words += len(reference)
    print(f"TOTAL {total_errors} {total_words} {100.0 * total_errors / max(total_words, 1):.1f}%")


if __name__ == "__main__":
    main()
