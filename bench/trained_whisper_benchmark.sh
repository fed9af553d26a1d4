#!/usr/bin/env bash
# Words, word times and made-up words of the whisper engine on the model
# trained here (tests/fixtures/whisper/model/ggml-closed-vocabulary.bin, see
# models/closed-vocabulary/), beside whisper.cpp's own whisper-cli
# with the same model, on the checking set: recordings in voices the model
# never heard in training, with every word's true start and end, and
# recordings with no speech (models/closed-vocabulary/heldout_set.py).
#
# Rows: the tool as it ships; the tool with each alternative it was chosen
# over (word times from the alignment without fitting to the sound, or from
# whisper.cpp's older token timestamps; no silence or 0.1 s between packed
# utterances instead of 0.2 s; the earlier window's text as context; flash
# attention off everywhere, as unpatched whisper.cpp needs for aligning); and
# whisper-cli on each file whole, with one word per segment (-ml 1) and its
# default decoding (beam search of 5, temperature fallback, flash attention).
#
# What the figures are: a test instrument's, not a product model's. The
# model knows 14 words; its speech is synthesized word by word, afresh each
# run, and espeak-ng's samples are not bit-identical from run to run: with a
# model this weak that moves word error rates by several points, so compare
# the rows of one run.
#
# Usage: bench/trained_whisper_benchmark.sh [BUILD_DIR]   (default build)
# Needs: a configured build; scripts/setup.sh's synthesizers, sox and numpy,
# and torch (scripts/setup.sh --training), which the checking set's maker imports.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
model="$root/tests/fixtures/whisper/model/ggml-closed-vocabulary.bin"
whisper_build="$root/.deps/whisper-build-1.9.1-Release"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

fail() { echo "trained_whisper_benchmark: $*" >&2; exit 1; }
[[ -f "$model" ]] || fail "no model at $model"

cmake --build "$build" --target whisper_settings -j2 >/dev/null || fail "building whisper_settings failed"
[[ -d "$whisper_build" ]] || fail "no whisper.cpp build at $whisper_build (configure the Release build first)"
cmake --build "$whisper_build" --target whisper-cli -j2 >/dev/null || fail "building whisper-cli failed"

echo "synthesizing the checking set..." >&2
(cd "$root/models/closed-vocabulary" &&
  /usr/bin/python3 heldout_set.py "$work/voices" "$work/set" >/dev/null) || fail "making the checking set failed"
files=("$work"/set/*.wav)

run() {  # label, then whisper_settings' options
  local label="$1"
  shift
  mkdir -p "$work/$label"
  "$build/whisper_settings" "$model" "$work/$label" "$@" "${files[@]}" || fail "$label failed"
  specs+=("$label:vorn:$work/$label")
}

specs=()
echo "transcribing ${#files[@]} recordings..." >&2
run tool
run times-alignment-unfitted --times unfitted
run times-token-timestamps --times tokens
run join-gap-0s --gap 0
run join-gap-0.1s --gap 0.1
run earlier-text-as-context --context
run flash-attention-off-everywhere --no-flash-attention

mkdir -p "$work/cli"
for f in "${files[@]}"; do
  "$whisper_build/bin/whisper-cli" -m "$model" -l en -t "$(nproc)" -np -ml 1 -oj \
    -of "$work/cli/$(basename "$f" .wav)" -f "$f" >/dev/null 2>&1 || fail "whisper-cli failed on $f"
done
specs+=("whisper-cli-ml1:cli:$work/cli")

python3 "$here/word_times.py" "$work/set" "${specs[@]}"
