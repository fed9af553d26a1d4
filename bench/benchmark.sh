#!/usr/bin/env bash
# Word error rate and wall time of vorn-speech, side by side with the
# engine's own pocketsphinx_continuous on the same model, over the five
# LibriVox clips of Debian's pocketsphinx-testdata.
#
# Usage: bench/benchmark.sh [path/to/vorn-speech]    (default: build/vorn-speech)
#
# Each program is run once per clip, as a user would run it, so every time
# includes starting the program and loading the model. WER is the word-level
# edit distance over the number of reference words, summed over all clips,
# case-insensitive, ignoring <s>, </s> and the (id) tag (see bench/wer.py).
# It then runs bench/written_benchmark.sh: word error rate plain and as
# written (cased, punctuated) on bench/devset, tuning and checking parts
# apart, and the words found in synthesized non-speech sounds.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
binary="${1:-$here/../build/vorn-speech}"
clips=/usr/share/pocketsphinx/test/data/librivox
model=/usr/share/pocketsphinx/model/en-us

[[ -x "$binary" ]] || { echo "no vorn-speech binary at $binary (build it, or pass its path)" >&2; exit 1; }
command -v pocketsphinx_continuous >/dev/null ||
  { echo "pocketsphinx_continuous is missing (Debian package pocketsphinx)" >&2; exit 1; }
[[ -f "$clips/transcription" ]] ||
  { echo "the LibriVox clips are missing (Debian package pocketsphinx-testdata)" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

now() { date +%s%N; }

# The words of vorn-speech's JSON line, in order, on one line.
json_words() {
  python3 -c 'import json, sys; print(" ".join(s["text"] for s in json.loads(sys.stdin.read())["segments"]))'
}

while read -r id; do
  wav="$clips/$id.wav"

  start=$(now)
  words=$("$binary" --input "$wav" --locale en-US | json_words)
  echo "$id $(( ($(now) - start) / 1000000 ))" >> "$work/vorn.ms"
  echo "$words ($id)" >> "$work/vorn.hyp"

  start=$(now)
  words=$(pocketsphinx_continuous -infile "$wav" -hmm "$model/en-us" -lm "$model/en-us.lm.bin" \
            -dict "$model/cmudict-en-us.dict" -logfn /dev/null 2>/dev/null | tr '\n' ' ')
  echo "$id $(( ($(now) - start) / 1000000 ))" >> "$work/continuous.ms"
  echo "$words ($id)" >> "$work/continuous.hyp"
done < "$clips/fileids"

python3 "$here/wer.py" "$clips/transcription" "$work/vorn.hyp" > "$work/vorn.wer"
python3 "$here/wer.py" "$clips/transcription" "$work/continuous.hyp" > "$work/continuous.wer"

# Columns per clip: reference words, then errors and seconds for each program.
awk '
  FILENAME ~ /vorn.wer$/       { vorn_err[$1] = $2; words[$1] = $3; if ($1 == "TOTAL") vorn_wer = $4; else order[++n] = $1 }
  FILENAME ~ /continuous.wer$/ { cont_err[$1] = $2; if ($1 == "TOTAL") cont_wer = $4 }
  FILENAME ~ /vorn.ms$/        { vorn_ms[$1] = $2; vorn_total += $2 }
  FILENAME ~ /continuous.ms$/  { cont_ms[$1] = $2; cont_total += $2 }
  END {
    printf "%-44s %5s | %-16s | %-16s\n", "", "", "vorn-speech", "pocketsphinx_cont."
    printf "%-44s %5s | %6s %9s | %6s %9s\n", "clip", "words", "errors", "time", "errors", "time"
    for (i = 1; i <= n; i++) {
      id = order[i]
      printf "%-44s %5d | %6d %8.2fs | %6d %8.2fs\n", id, words[id], vorn_err[id], vorn_ms[id] / 1000,
             cont_err[id], cont_ms[id] / 1000
    }
    printf "%-44s %5d | %6d %8.2fs | %6d %8.2fs\n", "total", words["TOTAL"], vorn_err["TOTAL"],
           vorn_total / 1000, cont_err["TOTAL"], cont_total / 1000
    printf "%-44s %5s | %6s %9s | %6s %9s\n", "word error rate", "", vorn_wer, "", cont_wer, ""
  }' "$work/vorn.wer" "$work/continuous.wer" "$work/vorn.ms" "$work/continuous.ms"

# Then the readable-transcript figures: word error rate as written on the
# development set, and words heard in sounds that are not speech.
echo
"$here/written_benchmark.sh" "$binary"
