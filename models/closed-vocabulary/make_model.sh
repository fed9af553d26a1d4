#!/usr/bin/env bash
# Makes tests/fixtures/whisper/model/ggml-closed-vocabulary.bin from nothing:
# the small whisper model that the trained-model test and
# bench/trained_whisper_benchmark.sh run on. Synthesizes the vocabulary in
# every voice, trains (train.py), writes the result in whisper.cpp's format
# (export.py) and puts the run's learning curve in training_log.tsv.
#
# Usage: models/closed-vocabulary/make_model.sh [work-dir]
#   (default: build-closed-vocabulary/ at the top of the repository, which
#   git ignores)
#
# The work folder keeps the voices' clips, the checkpoints and the log, so a
# stop loses at most the steps since the last checkpoint (five minutes):
# run the script again with the same folder and training carries on. On a
# finished run it only exports again. THREADS sets torch's threads
# (default 2).
#
# Needs Debian's python3-torch, which nothing else in the project does, and
# the synthesizers the benchmarks use; when any is missing this runs
# scripts/setup.sh --training. About an hour on two cores, nearly all of it
# training.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
fixture="$root/tests/fixtures/whisper/model/ggml-closed-vocabulary.bin"
# Debian's interpreter: python3-torch is built for it, not for another
# python3 that may come first on PATH.
python=/usr/bin/python3

work="${1:-$root/build-closed-vocabulary}"
mkdir -p "$work"
work="$(cd "$work" && pwd)"

# The packages voices.py, train.py and export.py use: torch and numpy, the
# three synthesizers, the festival voices of voices.py, and sox.
needed=(python3-torch python3-numpy espeak-ng flite festival festvox-kallpc16k
        festvox-kdlpc16k festvox-us-slt-hts sox)
for package in "${needed[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    "$root/scripts/setup.sh" --training
    break
  fi
done

# 1. Every voice's clips, two voices at a time; train.py would make the
# missing ones one by one. Cached in the work folder.
"$python" "$here/voices.py" "$work/voices"

# 2. Training, from the work folder's checkpoint if there is one.
THREADS="${THREADS:-2}" "$python" "$here/train.py" "$work"

# 3. The fixture, written beside the checkpoint first so that a failed
# export leaves the committed one whole.
"$python" "$here/export.py" "$work/model.pt" "$work/ggml-closed-vocabulary.bin"
cp "$work/ggml-closed-vocabulary.bin" "$fixture"
cp "$work/log.tsv" "$here/training_log.tsv"
echo "wrote $fixture and $here/training_log.tsv (work folder: $work)"
