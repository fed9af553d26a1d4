#!/usr/bin/env bash
# The self-contained bundle beside the build that links Debian's shared
# libraries: what each loads beyond the C/C++ runtime, the bundle's size,
# whether the packed bundle transcribes the sample in a bare root, the cost
# of starting (--help: median wall time and peak memory), the sample's
# transcription time, and whether the audio-only FFmpeg decodes every test,
# fuzz and sample file to the very samples the full shared one does.
#
# Usage: bench/bundle_benchmark.sh [SELF_CONTAINED_BUILD [SHARED_BUILD]]
#   defaults: build (Release, as scripts/test.sh makes it) and build-shared
#   (RelWithDebInfo); either is configured and built here when missing.
# The ten-minute figures come from bench/scale_benchmark.sh, run once with
# each build's vorn-speech (on idle cores: it is a timing).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/.." && pwd)"
bundled="$(realpath -m "${1:-$root/build}")"
shared="$(realpath -m "${2:-$root/build-shared}")"
sample="$root/samples/sense-and-sensibility.flac"
runs=11
[[ -x /usr/bin/time ]] || { echo "/usr/bin/time is missing (Debian package time)" >&2; exit 1; }

# Configures BUILD with CMake options when it has no cache yet, then builds
# the tool and the bench-only reader.
prepare() {  # build-dir cmake-options...
  local dir=$1
  shift
  [[ -f "$dir/CMakeCache.txt" ]] || cmake -S "$root" -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)" --target vorn-speech decoded_audio >/dev/null
}
prepare "$bundled" -DCMAKE_BUILD_TYPE=Release
prepare "$shared" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_SELF_CONTAINED=OFF
grep -q '^VORN_SELF_CONTAINED:BOOL=ON' "$bundled/CMakeCache.txt" ||
  { echo "$bundled is not a self-contained build (configure it with -DCMAKE_BUILD_TYPE=Release)" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Libraries beyond glibc, the loader, the vDSO and the C++ runtime.
outside_runtime() {
  ldd "$1" | awk '{ print $1 }' | sed 's|.*/||' |
    grep -Evc '^(linux-vdso\.so\.1|ld-linux.*|lib(c|m|pthread|dl|rt)\.so\.[0-9]+|libstdc\+\+\.so\.6|libgcc_s\.so\.1)$' || true
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Median wall time in ms of `runs` runs of the command (output discarded).
wall_ms() {
  local i start
  for ((i = 0; i < runs; i++)); do
    start=$EPOCHREALTIME
    "$@" >/dev/null 2>&1 || true
    bc -l <<<"($EPOCHREALTIME - $start) * 1000"
  done | median
}

# Median peak resident memory in MiB of `runs` runs, as GNU time sees it.
peak_mib() {
  local i
  for ((i = 0; i < runs; i++)); do
    /usr/bin/time -f %M -o "$work/rss" "$@" >/dev/null 2>&1 || true
    tail -n 1 "$work/rss"
  done | median | awk '{ printf "%.1f", $1 / 1024 }'
}

echo "== libraries loaded beyond the C/C++ runtime"
printf "%-28s %s\n" "shared build" "$(outside_runtime "$shared/vorn-speech")"
printf "%-28s %s\n" "self-contained build" "$(outside_runtime "$bundled/vorn-speech")"

echo
echo "== the bundle"
cmake --build "$bundled" --target package >/dev/null
tarball=$(ls "$bundled"/vorn-speech-*-linux-*.tar.gz)
mkdir "$work/unpacked"
tar -xzf "$tarball" -C "$work/unpacked"
printf "%-28s %s\n" "$(basename "$tarball")" "$(du -b "$tarball" | awk '{ printf "%.1f MiB packed", $1 / 1048576 }')"
printf "%-28s %s\n" "unpacked" "$(du -sb "$work/unpacked" | awk '{ printf "%.1f MiB", $1 / 1048576 }')"
printf "%-28s %s\n" "of which bin/vorn-speech" "$(du -b "$work"/unpacked/*/bin/vorn-speech | awk '{ printf "%.1f MiB", $1 / 1048576 }')"
if [[ $(id -u) -eq 0 ]]; then
  "$root/tests/whole_binary/bundle_test.sh" cmake "$bundled" "$sample" "$tarball"
else
  echo "(not root: the bare-root run is skipped)"
fi

echo
echo "== start-up: --help, median of $runs runs"
printf "%-28s %12s %14s\n" "" "wall (ms)" "peak RSS (MiB)"
for build in shared bundled; do
  tool=${!build}/vorn-speech
  printf "%-28s %12.1f %14s\n" "$build" "$(wall_ms "$tool" --help)" "$(peak_mib "$tool" --help)"
done
printf "%-28s %12.1f %14s\n" "/bin/true (the floor)" "$(wall_ms /bin/true)" "$(peak_mib /bin/true)"

echo
echo "== the sample ($(basename "$sample"), 7.1 s), median of 5 runs"
runs=5
printf "%-28s %12s %14s\n" "" "wall (ms)" "peak RSS (MiB)"
for build in shared bundled; do
  tool=${!build}/vorn-speech
  printf "%-28s %12.0f %14s\n" "$build" "$(wall_ms "$tool" --input "$sample")" "$(peak_mib "$tool" --input "$sample")"
done

echo
echo "== the same samples and documents from both builds"
files=("$root"/tests/fixtures/audio/* "$root"/tests/fixtures/hostile/* "$root"/fuzz/corpus/audio_file/* "$sample")
differ=0
compared=0
for file in "${files[@]}"; do
  [[ $file == *.md ]] && continue
  for build in shared bundled; do
    # The samples' hash and the error line, if any; then the document or
    # the error line of the tool itself.
    {
      { "${!build}/decoded_audio" "$file" 2>"$work/err" || true; } | sha256sum
      cat "$work/err"
      "${!build}/vorn-speech" --input "$file" 2>&1 || true
    } >"$work/$build.out"
  done
  compared=$((compared + 1))
  if ! cmp -s "$work/shared.out" "$work/bundled.out"; then
    differ=$((differ + 1))
    echo "differs: ${file#"$root"/}"
    diff "$work/shared.out" "$work/bundled.out" | sed 's/^/    /' || true
  fi
done
echo "$compared files compared, $differ differ"
