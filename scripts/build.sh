#!/usr/bin/env bash
# Installs what the build needs (once) and builds into build/: the
# self-contained Release build, as scripts/test.sh makes it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"
