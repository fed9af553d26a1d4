#!/usr/bin/env bash
# Sets up, builds, and transcribes the speech sample that ships with the
# project, printing the tool's one line of JSON.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh >/dev/null
exec build/vorn-speech --input samples/sense-and-sensibility.flac "$@"
