#!/usr/bin/env bash
# Wall time and peak resident memory of vorn-speech beside the engine's own
# pocketsphinx_continuous (same model) on a ten-minute real-speech recording
# made from the LibriVox clips and pauses, 16 kHz mono; and vorn-speech's
# peak memory on a one-minute cut of it, to show memory does not grow with
# the recording; then peak memory with 2, 8 and 16 decoders (decoder_memory.sh).
#
# Usage: bench/scale_benchmark.sh [path/to/vorn-speech]   (default: build/vorn-speech)
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
binary="${1:-$here/../build/vorn-speech}"
model=/usr/share/pocketsphinx/model/en-us
[[ -x "$binary" ]] || { echo "no vorn-speech binary at $binary" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "/usr/bin/time is missing (Debian package time)" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
python3 "$here/make_long_recording.py" "$work/ten.wav" 600
python3 "$here/make_long_recording.py" "$work/one.wav" 60

# Prints "seconds peak-kB" for one run of the command.
measure() {
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >"$work/out" 2>/dev/null
  cat "$work/time"
}

read -r vorn_s vorn_kb < <(measure "$binary" --input "$work/ten.wav")
words=$(python3 -c 'import json,sys; print(len(json.load(open(sys.argv[1]))["segments"]))' "$work/out")
read -r cont_s cont_kb < <(measure pocketsphinx_continuous -infile "$work/ten.wav" -hmm "$model/en-us" \
  -lm "$model/en-us.lm.bin" -dict "$model/cmudict-en-us.dict" -logfn /dev/null)
read -r one_s one_kb < <(measure "$binary" --input "$work/one.wav")

printf "%-34s %12s %12s\n" "" "wall (s)" "peak RSS (MB)"
printf "%-34s %12.1f %12.1f   (%s words)\n" "vorn-speech, 10 min" "$vorn_s" "$(bc -l <<<"$vorn_kb/1024")" "$words"
printf "%-34s %12.1f %12.1f\n" "pocketsphinx_continuous, 10 min" "$cont_s" "$(bc -l <<<"$cont_kb/1024")"
printf "%-34s %12.1f %12.1f\n" "vorn-speech, 1 min" "$one_s" "$(bc -l <<<"$one_kb/1024")"
printf "wall time ratio (vorn / continuous): %.2f   (target <= 0.55)\n" "$(bc -l <<<"$vorn_s/$cont_s")"
printf "peak memory ratio (10 min / 1 min):  %.2f   (target <= 1.10)\n" "$(bc -l <<<"$vorn_kb/$one_kb")"

# Peak memory with the decoder count forced, as on machines with 2, 8 and 16
# cores (the bench-only program lives in the build folder beside the binary).
echo
"$here/decoder_memory.sh" "$(dirname "$binary")"
