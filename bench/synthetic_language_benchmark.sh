#!/usr/bin/env bash
# Word times of the whisper engine on the synthetic-language model
# (tests/fixtures/whisper/synthetic-language/, made by
# models/synthetic-language/), which hears nearly every word right, so that
# every paired word's times are the times' own error. On its checking set
# (models/synthetic-language/checking_set.py: five 29.5 s recordings and a
# 143 s one with 6 to 20 s of silence between groups of words, in voices no
# training step heard), beside the alternatives the tool's timing was chosen
# over and beside whisper-cli -ml 1 (one word per segment, its default
# decoding, each file whole), whose times are the model's timestamp tokens.
#
# Usage: bench/synthetic_language_benchmark.sh [BUILD_DIR]   (default build)
# Needs: a configured build; numpy (scripts/setup.sh).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
model="$root/tests/fixtures/whisper/synthetic-language/ggml-synthetic-language.bin"
whisper_build="$root/.deps/whisper-build-1.9.1-Release"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

fail() { echo "synthetic_language_benchmark: $*" >&2; exit 1; }
[[ -f "$model" ]] || fail "no model at $model"
cmake --build "$build" --target whisper_settings -j2 >/dev/null || fail "building whisper_settings failed"
[[ -d "$whisper_build" ]] || fail "no whisper.cpp build at $whisper_build (configure the Release build first)"
cmake --build "$whisper_build" --target whisper-cli -j2 >/dev/null || fail "building whisper-cli failed"

/usr/bin/python3 "$root/models/synthetic-language/checking_set.py" "$work/set" >/dev/null ||
  fail "making the checking set failed"

specs=()
for group in short long; do
  files=("$work"/set/"$group"-*.wav)
  run() {  # label, then whisper_settings' options
    local label="$1"
    shift
    mkdir -p "$work/$group/$label"
    "$build/whisper_settings" "$model" "$work/$group/$label" "$@" "${files[@]}" || fail "$label failed"
  }
  run tool
  run alignment-unfitted --times unfitted
  run token-timestamps --times tokens
  mkdir -p "$work/$group/cli"
  for f in "${files[@]}"; do
    "$whisper_build/bin/whisper-cli" -m "$model" -l en -t "$(nproc)" -np -ml 1 -oj \
      -of "$work/$group/cli/$(basename "$f" .wav)" -f "$f" >/dev/null 2>&1 || fail "whisper-cli failed on $f"
  done
  mkdir -p "$work/set-$group"
  cp "$work"/set/"$group"-* "$work/set-$group/"
done

for group in short long; do
  echo "== $group recordings =="
  python3 "$here/word_times.py" --exact "$work/set-$group" \
    "the tool:vorn:$work/$group/tool" \
    "alignment, not fitted:vorn:$work/$group/alignment-unfitted" \
    "token timestamps:vorn:$work/$group/token-timestamps" \
    "whisper-cli -ml 1:cli:$work/$group/cli"
done
