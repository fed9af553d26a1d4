"""Word-level alignment of a hypothesis with its reference, shared by the
scorers (wer.py, word_times.py) so that every word error rate they print is
counted the same way.
"""


def align(reference, hypothesis):
    """The edit distance between two word lists (substitutions + deletions
    + insertions) and the pairs (i, j) of equal words, reference[i] ==
    hypothesis[j], on one best path, in order. Where several paths are
    best, the one taken prefers, from the end backwards, a match or
    substitution, then a deletion, then an insertion."""
    n, m = len(reference), len(hypothesis)
    d = [[0] * (m + 1) for _ in range(n + 1)]
    for i in range(n + 1):
        d[i][0] = i
    for j in range(m + 1):
        d[0][j] = j
    for i in range(1, n + 1):
        for j in range(1, m + 1):
            d[i][j] = min(d[i - 1][j] + 1, d[i][j - 1] + 1,
                          d[i - 1][j - 1] + (reference[i - 1] != hypothesis[j - 1]))
    pairs, i, j = [], n, m
    while i > 0 and j > 0:
        if d[i][j] == d[i - 1][j - 1] + (reference[i - 1] != hypothesis[j - 1]):
            if reference[i - 1] == hypothesis[j - 1]:
                pairs.append((i - 1, j - 1))
            i, j = i - 1, j - 1
        elif d[i][j] == d[i - 1][j] + 1:
            i -= 1
        else:
            j -= 1
    return d[n][m], pairs[::-1]


def edit_distance(reference, hypothesis):
    """The word errors of `hypothesis`: substitutions + deletions +
    insertions against `reference`."""
    return align(reference, hypothesis)[0]
