#!/usr/bin/env bash
# Installs every Debian package that building, testing and benchmarking need.
# Safe to run again: it does nothing (and prints nothing) when all are present.
#
# Usage: scripts/setup.sh [--training]
#   --training: also Debian's PyTorch, for retraining the test whisper models
#   (models/closed-vocabulary/) and for the closed-vocabulary benchmark's
#   checking set; nothing else needs it.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  # applies our patches to the pinned whisper.cpp (patches/whisper.cpp/)
  patch
  libgtest-dev libgmock-dev
  # the speech engine and its US-English model
  libpocketsphinx-dev libsphinxbase-dev pocketsphinx-en-us
  # the word list that says which words are written with a capital, and
  # the interpreter that tabulates it at build time
  wamerican python3
  # audio decoding: the shared libraries for the Debug and sanitizer
  # builds; the assembler for the static audio-only FFmpeg that the Release
  # build compiles from Debian's source (scripts/fetch-ffmpeg.sh)
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev nasm
  # regular expressions for the time-span parser
  libre2-dev
  # Unicode grapheme clusters, so that whisper's words are never cut inside
  # a character and its marks
  libunistring-dev
  # fuzzing and sanitizer runtimes (scripts/fuzz.sh), and the JSON reader
  # the document fuzzer checks its output with
  clang libclang-rt-dev nlohmann-json3-dev
  # the reference engine CLI and its LibriVox clips, for the benchmark
  pocketsphinx pocketsphinx-testdata time bc
  # telephone copies and synthetic voices for the benchmarks and for
  # regenerating the telephone adaptation (models/telephone/), and the
  # model-training tools that estimate it
  ffmpeg sox libsox-fmt-all flite festival festvox-kdlpc16k festvox-kallpc16k
  festvox-us-slt-hts espeak-ng sphinxtrain sphinxbase-utils
  # one real voice's phone prompts, as 8 kHz masters and as wideband G.722
  # copies of the same takes: the telephone benchmark's real-speech set
  asterisk-core-sounds-en-wav asterisk-core-sounds-en-g722
  # the trained whisper model's checking set (bench/trained_whisper_benchmark.sh)
  python3-numpy
)
if [ "${1:-}" = "--training" ]; then
  # torch's matrix products run several times faster on OpenBLAS's threaded
  # build than on the reference library it otherwise gets
  packages+=(python3-torch libopenblas0-pthread)
fi

# npm only fetches the pinned whisper.cpp source below.
command -v npm >/dev/null || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then sudo=sudo; else sudo=; fi
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

"$(dirname "$0")/fetch-whisper.sh"
"$(dirname "$0")/fetch-ffmpeg.sh"
