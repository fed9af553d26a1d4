#!/usr/bin/env bash
# Peak memory of a transcription with 2, 8 and 16 decoders forced, as on
# machines with that many cores: a two-minute real-speech recording (the
# LibriVox clips with pauses), decoded by the bench-only program
# decoder_memory, which drives the tool's own code with the count it is
# given. The tool caps its resident memory near 400 MB, so on a many-core
# machine it runs as many decoders as fit under that, not one per core.
#
# Usage: bench/decoder_memory.sh [build-dir]   (default: build)
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build}"
cmake --build "$build" --target decoder_memory -j2 >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
python3 "$here/make_long_recording.py" "$work/two.wav" 120

printf "%-10s %10s %16s %22s %8s\n" decoders "wall (s)" "peak RSS (MB)" "peak address (MB)" words
for decoders in 2 8 16; do
  read -r n seconds rss address words < <("$build/decoder_memory" "$decoders" "$work/two.wav")
  printf "%-10s %10s %16s %22s %8s\n" "$n" "$seconds" "$rss" "$address" "$words"
done
