#!/usr/bin/env bash
# Makes tests/fixtures/whisper/synthetic-language/ggml-synthetic-language.bin
# from nothing: the whisper model that judges word times (README.md).
# Synthesizes the clip bank, trains (learn.py), writes the result in
# whisper.cpp's format (write_model.py) and puts the run's learning curve in
# training_log.tsv.
#
# Usage: models/synthetic-language/make_model.sh [work-dir]
#   (default: build-synthetic-language/ at the top of the repository, which
#   git ignores)
#
# The work folder keeps the clip bank, the checkpoints and the log, so a
# stop loses at most five minutes of training: run the script again with
# the same folder and it carries on. On a finished run it only exports
# again. THREADS sets torch's threads (default 2).
#
# Needs Debian's python3-torch (and OpenBLAS's threaded build, several
# times faster under it); when either is missing this runs
# scripts/setup.sh --training.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
fixture="$root/tests/fixtures/whisper/synthetic-language/ggml-synthetic-language.bin"
# Debian's interpreter: python3-torch is built for it.
python=/usr/bin/python3

work="${1:-$root/build-synthetic-language}"
mkdir -p "$work"
work="$(cd "$work" && pwd)"

for package in python3-torch python3-numpy libopenblas0-pthread; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    "$root/scripts/setup.sh" --training
    break
  fi
done

THREADS="${THREADS:-2}" "$python" "$here/learn.py" "$work"

# Written beside the checkpoint first, so that a failed export leaves the
# committed model whole.
"$python" "$here/write_model.py" "$work/model.pt" "$work/ggml-synthetic-language.bin"
mkdir -p "$(dirname "$fixture")"
cp "$work/ggml-synthetic-language.bin" "$fixture"
cp "$work/log.tsv" "$here/training_log.tsv"
echo "wrote $fixture and $here/training_log.tsv (work folder: $work)"
