#!/usr/bin/env bash
# Builds the libFuzzer targets in fuzz/ and runs each for a bounded time.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET]
#
# SECONDS_PER_TARGET defaults to 60; TARGET is one of the names below
# (default: all, one after another, never in parallel). Environment:
#   FUZZ_BUILD_DIR  build folder (default: build-fuzz in the repository)
#   FUZZ_OUT        scratch corpora, logs and findings (default:
#                   ${TMPDIR:-/tmp}/vorn-fuzz); kept outside the repository,
#                   so neither the committed seeds nor the tree grow.
#   FUZZ_KEEP_GOING=1  go on after a crash, leak, hang or out-of-memory
#                   (libFuzzer's -fork=1: still one process at a time, each
#                   finding saved), rather than stop at the first one; for a
#                   target whose known finding would otherwise end every run.
# Needs a main build (scripts/build.sh: the whisper model target links its
# ggml) and the packages listed below; installs nothing itself, but names the
# missing ones and stops.
# Exits 0 when nothing was found, 1 when some target found something.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

targets=(time_span_parser option_scan result_document audio_file whisper_model_file)

# Longest input per target: room for many pairs of times, many arguments,
# dozens of segments, a few seconds of compressed audio, and a model's
# header, mel filters, a short vocabulary and its first tensor headers
# respectively.
declare -A max_len=([time_span_parser]=4096 [option_scan]=1024 [result_document]=4096 [audio_file]=16384
                    [whisper_model_file]=70000)
# Seconds one input may take before it counts as a hang. Decoding gets
# more: the reader may produce millions of samples, under AddressSanitizer.
declare -A timeout=([time_span_parser]=5 [option_scan]=5 [result_document]=5 [audio_file]=30
                    [whisper_model_file]=5)

seconds=${1:-60}
only=${2:-}
if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: $0 [SECONDS_PER_TARGET] [TARGET]; targets: ${targets[*]}" >&2
  exit 2
fi
if [ -n "$only" ]; then
  [[ " ${targets[*]} " == *" $only "* ]] || { echo "unknown target '$only'; one of: ${targets[*]}" >&2; exit 2; }
  targets=("$only")
fi

packages=(
  clang libclang-rt-dev cmake pkg-config
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev
  libre2-dev nlohmann-json3-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "missing packages: ${missing[*]} (apt-get install ${missing[*]})" >&2
  exit 2
fi

build=${FUZZ_BUILD_DIR:-$repo/build-fuzz}
out=${FUZZ_OUT:-${TMPDIR:-/tmp}/vorn-fuzz}
cmake -S fuzz -B "$build" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/%/_fuzzer}" >/dev/null

found=0
summary=()
for t in "${targets[@]}"; do
  corpus=$out/corpus/$t
  findings=$out/findings/$t
  log=$out/logs/$t.log
  # A fresh copy of the seeds each run: what the fuzzer adds stays out of
  # the repository.
  rm -rf "$corpus"
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  cp fuzz/corpus/"$t"/* "$corpus"/
  echo "fuzzing $t for ${seconds}s (log: $log)"
  stamp=$out/logs/$t.started
  touch "$stamp"
  keep_going=()
  [ "${FUZZ_KEEP_GOING:-0}" = 1 ] && keep_going=(-fork=1 -ignore_crashes=1 -ignore_ooms=1 -ignore_timeouts=1)
  status=0
  # stdin is /dev/null so that a demuxer led to read it cannot wait forever.
  UBSAN_OPTIONS=print_stacktrace=1 "$build/${t}_fuzzer" "$corpus" "${keep_going[@]}" \
    -max_total_time="$seconds" -max_len="${max_len[$t]}" -timeout="${timeout[$t]}" \
    -rss_limit_mb=2048 -artifact_prefix="$findings/" -print_final_stats=1 \
    </dev/null >"$log" 2>&1 || status=$?
  # The final statistics, or in fork mode the last progress line.
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  [ -n "$runs" ] || runs=$(sed -n 's/^#\([0-9]*\):.*/\1/p' "$log" | tail -n 1)
  # crash-, leak-, timeout- and oom- files are failures; libFuzzer also
  # keeps inputs that took over 10 s (slow-unit-), which are only reported.
  failures=$(find "$findings" -type f -newer "$stamp" ! -name 'slow-unit-*')
  slow=$(find "$findings" -type f -newer "$stamp" -name 'slow-unit-*')
  if [ "$status" -ne 0 ] || [ -n "$failures" ]; then
    found=1
    verdict="FOUND (exit $status): $(grep -m1 -E 'ERROR|runtime error|^[a-z_]+_fuzzer: ' "$log" || echo 'see the files below and the log')"
  else
    verdict="nothing found"
  fi
  while read -r artifact; do
    [ -n "$artifact" ] && verdict+=$'\n'"    $artifact"
  done < <(printf '%s\n' "$failures" "$slow")
  summary+=("$(printf '%-18s %12s executions  %s' "$t" "${runs:-?}" "$verdict")")
done

echo
printf '%s\n' "${summary[@]}"
exit "$found"
