#!/usr/bin/env bash
# Wall time and peak resident memory of vorn-speech's whisper engine beside
# whisper.cpp's own whisper-cli, built from the same source and build
# configuration, with the same model and thread count, on a one-minute and a
# ten-minute real-speech recording (the LibriVox clips with pauses between
# them, 16 kHz mono; see make_long_recording.py).
#
# The model has base.en's dimensions (n_vocab 51864, audio and text state
# 512, 8 heads, 6 layers each, f16) but RANDOM WEIGHTS, since no trained
# model can be downloaded here: the time and memory figures are real (same
# tensors, same work per 30-second window), the words are made up and no
# word error rate can come from it. With random weights every window fails
# the log-probability threshold, so both programs decode it again at each
# fallback temperature: the comparison stays like for like.
#
# whisper-cli runs with its default decoding settings (beam search of 5,
# best of 5, temperature fallback in steps of 0.2, entropy threshold 2.4,
# log-probability threshold -1) and is passed only
#   -m MODEL -f RECORDING -l en -t $(nproc) -np
# (-np: no progress or system information on stderr). Timestamps stay on
# (no -nt) because vorn-speech needs them for its word times.
#
# vorn-speech runs as `vorn-speech --input RECORDING --locale en` from a copy
# of the binary in a scratch folder with the model in models/ beside it, where
# the tool looks for whisper models. A copy rather than the build folder, so
# that a random model never stays where the tests or a user would pick it up,
# and a real model installed there is neither used nor replaced.
#
# Usage: bench/whisper_benchmark.sh [path/to/build/vorn-speech]
#   (default: build/vorn-speech; its folder must be the CMake build folder)
# Needs: a configured build (cmake -S . -B build), /usr/bin/time, python3, bc.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/.." && pwd)"
binary="${1:-$root/build/vorn-speech}"
build="$(cd "$(dirname "$binary")" && pwd)"
whisper_build="$root/.deps/whisper-build-1.9.1-Release"
threads="$(nproc)"

fail() { echo "whisper_benchmark: $*" >&2; exit 1; }

[[ -x /usr/bin/time ]] || fail "/usr/bin/time is missing (Debian package time)"
command -v bc >/dev/null || fail "bc is missing (Debian package bc)"
[[ -f "$build/CMakeCache.txt" ]] || fail "$build is not a CMake build folder (cmake -S . -B build first)"
[[ -f "$whisper_build/CMakeCache.txt" ]] ||
  fail "whisper.cpp is not configured in $whisper_build (build the project once first)"

# Builds run one at a time and are no-ops when up to date.
cmake --build "$whisper_build" --target whisper-cli -j2 >/dev/null || fail "building whisper-cli failed"
cmake --build "$build" --target vorn-speech make_whisper_model -j2 >/dev/null ||
  fail "building vorn-speech or make_whisper_model failed"
whisper_cli="$whisper_build/bin/whisper-cli"
[[ -x "$whisper_cli" ]] || fail "no whisper-cli at $whisper_cli after building it"
[[ -x "$binary" ]] || fail "no vorn-speech binary at $binary"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

echo "making the model and the recordings..." >&2
model="$work/ggml-base.en.bin"
"$build/make_whisper_model" "$model" base.en 1 || fail "make_whisper_model failed"
model_kb=$(( $(stat -c %s "$model") / 1024 ))
mkdir -p "$work/bin/models"
cp "$binary" "$work/bin/vorn-speech"
cp "$model" "$work/bin/models/ggml-base.en.bin"

python3 "$here/make_long_recording.py" "$work/one.wav" 60 || fail "making the 1-minute recording failed"
python3 "$here/make_long_recording.py" "$work/ten.wav" 600 || fail "making the 10-minute recording failed"

# measure NAME COMMAND...: runs the command once and prints "seconds peak-kB".
# A failed run prints the end of its stderr and returns its status.
measure() {
  local name="$1"
  shift
  local status=0
  /usr/bin/time -f "%e %M" -o "$work/$name.time" "$@" >"$work/$name.out" 2>"$work/$name.err" || status=$?
  if ((status != 0)); then
    echo "whisper_benchmark: $name failed with status $status:" >&2
    tail -n 5 "$work/$name.err" >&2
    return "$status"
  fi
  tail -n 1 "$work/$name.time"
}

cli=("$whisper_cli" -m "$model" -l en -t "$threads" -np -f)
vorn=("$work/bin/vorn-speech" --locale en --input)

echo "running whisper-cli on 1 and 10 minutes ($threads threads)..." >&2
read -r cli1_s cli1_kb < <(measure cli-1min "${cli[@]}" "$work/one.wav") || fail "whisper-cli failed"
read -r cli10_s cli10_kb < <(measure cli-10min "${cli[@]}" "$work/ten.wav") || fail "whisper-cli failed"

echo "running vorn-speech on 1 and 10 minutes..." >&2
# A process that loaded the model holds all of its weights; a peak below
# the model's size means the tool decoded with another engine (the ten-minute
# run is then skipped).
used_model() {
  (($1 >= model_kb)) && return 0
  echo "whisper_benchmark: vorn-speech's peak memory is below the model's size: it did not use the model" >&2
  return 1
}
vorn_ok=0
if read -r vorn1_s vorn1_kb < <(measure vorn-1min "${vorn[@]}" "$work/one.wav") && used_model "$vorn1_kb" &&
   read -r vorn10_s vorn10_kb < <(measure vorn-10min "${vorn[@]}" "$work/ten.wav") && used_model "$vorn10_kb"; then
  vorn_ok=1
fi

mb() { bc -l <<<"$1/1024"; }
row() { printf "%-26s %10.1f %14.1f\n" "$1" "$2" "$(mb "$3")"; }

echo
echo "random-weight model of base.en's dimensions, f16, $((model_kb / 1024)) MB; $threads threads"
printf "%-26s %10s %14s\n" "" "wall (s)" "peak RSS (MB)"
row "whisper-cli, 1 min" "$cli1_s" "$cli1_kb"
row "whisper-cli, 10 min" "$cli10_s" "$cli10_kb"
if ((vorn_ok)); then
  row "vorn-speech, 1 min" "$vorn1_s" "$vorn1_kb"
  row "vorn-speech, 10 min" "$vorn10_s" "$vorn10_kb"
  printf "wall time ratio vorn / whisper-cli:   1 min %.2f, 10 min %.2f   (target at 10 min <= 1.00)\n" \
    "$(bc -l <<<"$vorn1_s/$cli1_s")" "$(bc -l <<<"$vorn10_s/$cli10_s")"
  printf "peak memory vorn - whisper-cli:       1 min %+.1f MB, 10 min %+.1f MB   (target <= +50 MB)\n" \
    "$(mb $((vorn1_kb - cli1_kb)))" "$(mb $((vorn10_kb - cli10_kb)))"
  printf "vorn peak memory 10 min / 1 min:      %.2f   (flat: target <= 1.10)\n" "$(bc -l <<<"$vorn10_kb/$vorn1_kb")"
else
  echo "vorn-speech: no figures (see the error above)"
  exit 1
fi
