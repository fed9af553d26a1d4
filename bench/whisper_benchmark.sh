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
# Usage: bench/whisper_benchmark.sh [path/to/build/vorn-speech [SHORT LONG]]
#   vorn-speech: default build/vorn-speech; its folder must be the CMake
#     build folder
#   SHORT LONG: the recordings' lengths in seconds, 60 and 600 by default
#     (the targets are for those; shorter ones give a quick look)
# A run of the defaults is long: with random weights every window is decoded
# at all six fallback temperatures. On two idle cores it took 22 minutes,
# 16 of them whisper-cli's on ten minutes; on a busy machine ggml's spinning
# threads make it many times slower.
# Needs: a configured build (cmake -S . -B build), /usr/bin/time, python3, bc.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/.." && pwd)"
binary="${1:-$root/build/vorn-speech}"
build="$(cd "$(dirname "$binary")" && pwd)"
whisper_build="$root/.deps/whisper-build-1.9.1-Release"
short="${2:-60}"
long="${3:-600}"
threads="$(nproc)"

fail() { echo "whisper_benchmark: $*" >&2; exit 1; }

[[ "$short" =~ ^[0-9]+$ && "$long" =~ ^[0-9]+$ && "$short" -gt 0 && "$long" -gt 0 ]] ||
  fail "the lengths must be whole numbers of seconds, not '$short' and '$long'"
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

python3 "$here/make_long_recording.py" "$work/short.wav" "$short" || fail "making the $short s recording failed"
python3 "$here/make_long_recording.py" "$work/long.wav" "$long" || fail "making the $long s recording failed"

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

# Labels in minutes when whole ("1 min"), else in seconds.
label() { if (($1 % 60 == 0)); then echo "$(($1 / 60)) min"; else echo "$1 s"; fi; }
short_label="$(label "$short")"
long_label="$(label "$long")"

echo "running whisper-cli on $short_label and $long_label ($threads threads)..." >&2
read -r cli_short_s cli_short_kb < <(measure cli-short "${cli[@]}" "$work/short.wav") || fail "whisper-cli failed"
read -r cli_long_s cli_long_kb < <(measure cli-long "${cli[@]}" "$work/long.wav") || fail "whisper-cli failed"

echo "running vorn-speech on $short_label and $long_label..." >&2
# Whether vorn-speech decoded NAME's run with the model: a process that
# loaded it holds all of its weights, and pocketsphinx, the engine English
# falls back to, can only write words of its dictionary while the random
# model's made-up words are almost never in it.
used_model() {
  local name="$1" kb="$2"
  if ((kb < model_kb)); then
    echo "whisper_benchmark: vorn-speech's peak memory is below the model's size: it did not load the model" >&2
    return 1
  fi
  python3 - "$work/$name.out" /usr/share/pocketsphinx/model/en-us/cmudict-en-us.dict <<'PY' && return 0
import json, re, sys
words = [s["text"] for s in json.load(open(sys.argv[1]))["segments"]]
known = {re.sub(r"\(\d+\)$", "", line.split()[0]).lower()
         for line in open(sys.argv[2], encoding="utf-8", errors="replace") if line.strip()}
plain = [re.sub(r"[^\w']", "", w.lower()) for w in words]
sys.exit(0 if any(w and w not in known for w in plain) else 1)
PY
  echo "whisper_benchmark: every word vorn-speech wrote is in pocketsphinx's dictionary: it did not use the model" >&2
  return 1
}
vorn_ok=0
if read -r vorn_short_s vorn_short_kb < <(measure vorn-short "${vorn[@]}" "$work/short.wav") &&
   used_model vorn-short "$vorn_short_kb" &&
   read -r vorn_long_s vorn_long_kb < <(measure vorn-long "${vorn[@]}" "$work/long.wav") &&
   used_model vorn-long "$vorn_long_kb"; then
  vorn_ok=1
fi

mb() { bc -l <<<"$1/1024"; }
row() { printf "%-26s %10.1f %14.1f\n" "$1" "$2" "$(mb "$3")"; }

echo
echo "random-weight model of base.en's dimensions, f16, $((model_kb / 1024)) MB; $threads threads"
printf "%-26s %10s %14s\n" "" "wall (s)" "peak RSS (MB)"
row "whisper-cli, $short_label" "$cli_short_s" "$cli_short_kb"
row "whisper-cli, $long_label" "$cli_long_s" "$cli_long_kb"
if ((vorn_ok)); then
  row "vorn-speech, $short_label" "$vorn_short_s" "$vorn_short_kb"
  row "vorn-speech, $long_label" "$vorn_long_s" "$vorn_long_kb"
  printf "wall time vorn / whisper-cli:     %s %.2f, %s %.2f   (target <= 1.00 at 10 min)\n" \
    "$short_label" "$(bc -l <<<"$vorn_short_s/$cli_short_s")" "$long_label" "$(bc -l <<<"$vorn_long_s/$cli_long_s")"
  printf "peak memory vorn - whisper-cli:   %s %+.1f MB, %s %+.1f MB   (target <= +50 MB)\n" \
    "$short_label" "$(mb $((vorn_short_kb - cli_short_kb)))" "$long_label" "$(mb $((vorn_long_kb - cli_long_kb)))"
  printf "vorn peak memory %s / %s:   %.2f   (flat: target <= 1.10)\n" \
    "$long_label" "$short_label" "$(bc -l <<<"$vorn_long_kb/$vorn_short_kb")"
else
  echo "vorn-speech: no figures (see the error above)"
  exit 1
fi
