#!/usr/bin/env python3
"""Writes the C++ table behind platform/engines/pocketsphinx/word_case.cc.

Usage: word_case_table.py WORD_LIST PRONOUNCING_DICTIONARY OUTPUT

WORD_LIST is a Debian word list that records case (one word a line, UTF-8,
such as /usr/share/dict/american-english). PRONOUNCING_DICTIONARY is the
engine's dictionary ("word phones...", variants marked "word(2)"). Only words
the engine can write are kept, which keeps the table a fraction of the list
and the binary free of any file at run time.

Two sorted tables come out, each one string of newline-ended words: the words the list writes only with capitals, in
their written form and ordered by their lower-case form (a word the list
writes capitalized in several ways, "Al" and "AL", keeps the one with a
single leading capital, else the first in order); and the words the list
also writes in lower case.
"""
import re
import sys


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    word_list, dictionary, output = sys.argv[1:]

    engine_words = set()
    with open(dictionary, encoding="latin-1") as lines:
        for line in lines:
            word = line.split(" ", 1)[0].strip()
            if word:
                engine_words.add(re.sub(r"\(\d+\)$", "", word))

    forms = {}
    with open(word_list, encoding="utf-8") as lines:
        for line in lines:
            word = line.strip()
            if word and word.isascii():
                forms.setdefault(word.lower(), set()).add(word)

    capitalized, lowercase = [], []
    for key in sorted(k for k in forms if k in engine_words):
        written = forms[key]
        if key in written:
            lowercase.append(key)
            continue
        titled = [w for w in written if w[0].isupper() and w[1:] == key[1:]]
        capitalized.append(titled[0] if titled else sorted(written)[0])

    # One string literal per table, each word ended by a newline: compiles in
    # a moment, where an array of tens of thousands of objects takes minutes.
    def blob(name, words):
        body = "".join(f'    "{w}\\n"\n' for w in words)
        return f"extern const char {name}[] =\n{body};\n"

    with open(output, "w", encoding="utf-8") as out:
        out.write("// Generated at build time by cmake/word_case_table.py; do not edit.\n")
        out.write("namespace vorn::word_case_table {\n\n")
        out.write(blob("kCapitalized", capitalized))
        out.write("\n")
        out.write(blob("kLowercase", lowercase))
        out.write("\n}  // namespace vorn::word_case_table\n")


if __name__ == "__main__":
    main()
