#!/usr/bin/env bash
# Peak resident memory and wall time of the whisper engine's alignment, for
# models of base.en's and small.en's dimensions, on one minute of real speech
# (the LibriVox clips, see make_long_recording.py), beside whisper.cpp's own
# whisper-cli built from the same patched source:
#   whisper-cli              its defaults (flash attention, no alignment)
#   whisper-cli -nfa --dtw   flash attention off and the alignment on: what
#                            unpatched whisper.cpp needs for word alignment
#   whisper-cli --dtw        the alignment with flash attention kept, which
#                            patches/whisper.cpp/ makes possible
#   vorn-speech              the tool (alignment on, flash attention kept)
#   vorn, flash off          the tool's own pipeline (bench/whisper_settings)
#                            with flash attention off everywhere: the tool
#                            before the patch
# Models have RANDOM WEIGHTS (no trained model can be downloaded here): the
# memory and time are real, the words made up, so every window is decoded at
# each fallback temperature by every program alike.
#
# Usage: bench/whisper_memory.sh [build-dir [SECONDS [SHAPE...]]]
#   build-dir: default build; SECONDS: default 60; SHAPE: base.en small.en
# Took about 12 minutes on two idle cores.
# Needs: a configured build, /usr/bin/time, python3, bc.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
seconds="${2:-60}"
shift $(($# > 2 ? 2 : $#))
shapes=("$@")
((${#shapes[@]})) || shapes=(base.en small.en)
whisper_build="$root/.deps/whisper-build-1.9.1-Release"
threads="$(nproc)"

fail() { echo "whisper_memory: $*" >&2; exit 1; }
[[ -x /usr/bin/time ]] || fail "/usr/bin/time is missing (Debian package time)"
[[ -f "$whisper_build/CMakeCache.txt" ]] || fail "whisper.cpp is not configured (build the project once first)"
cmake --build "$whisper_build" --target whisper-cli -j2 >/dev/null || fail "building whisper-cli failed"
cmake --build "$build" --target vorn-speech make_whisper_model whisper_settings -j2 >/dev/null ||
  fail "building vorn-speech, make_whisper_model or whisper_settings failed"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
python3 "$here/make_long_recording.py" "$work/speech.wav" "$seconds" || fail "making the recording failed"

# measure COMMAND...: prints "seconds peak-MB" of one run.
measure() {
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >"$work/out" 2>"$work/err" ||
    { tail -n 5 "$work/err" >&2; fail "$1 failed"; }
  read -r s kb <"$work/time"
  printf "%s %.1f\n" "$s" "$(bc -l <<<"$kb/1024")"
}

printf "%-10s %-24s %9s %14s\n" shape program "wall (s)" "peak RSS (MB)"
for shape in "${shapes[@]}"; do
  rm -rf "$work/bin"
  mkdir -p "$work/bin/models"
  model="$work/bin/models/ggml-$shape.bin"
  "$build/make_whisper_model" "$model" "$shape" 1 || fail "make_whisper_model $shape failed"
  cp "$build/vorn-speech" "$work/bin/vorn-speech"
  cli=("$whisper_build/bin/whisper-cli" -m "$model" -l en -t "$threads" -np -f "$work/speech.wav")
  declare -A peak=()
  for program in "whisper-cli" "whisper-cli -nfa --dtw" "whisper-cli --dtw" "vorn-speech" "vorn, flash off"; do
    case "$program" in
      "whisper-cli") run=("${cli[@]}") ;;
      "whisper-cli -nfa --dtw") run=("${cli[@]}" -nfa --dtw "$shape") ;;
      "whisper-cli --dtw") run=("${cli[@]}" --dtw "$shape") ;;
      "vorn-speech") run=("$work/bin/vorn-speech" --locale en --input "$work/speech.wav") ;;
      "vorn, flash off")
        mkdir -p "$work/settings"
        run=("$build/whisper_settings" "$model" "$work/settings" --no-flash-attention "$work/speech.wav") ;;
    esac
    read -r s mb < <(measure "${run[@]}")
    peak[$program]=$mb
    printf "%-10s %-24s %9.1f %14.1f\n" "$shape" "$program" "$s" "$mb"
  done
  printf "%-10s vorn-speech - whisper-cli: %+.1f MB   (target <= +20 MB)\n" "$shape" \
    "$(bc -l <<<"${peak[vorn-speech]} - ${peak[whisper-cli]}")"
  unset peak
done
