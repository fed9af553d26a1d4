#!/usr/bin/env bash
# Puts the pinned whisper.cpp source in .deps/ (ignored by git), where the
# build finds it. Safe to run again: quiet and quick once the source is there.
#
# whisper.cpp is not packaged for Debian 12; its full source ships inside the
# npm package below, which is fetched by exact version and checked against
# the integrity hash that the registry published for it, so the build always
# compiles the same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."

version=1.9.1
package=nodejs-whisper@0.3.1
# The registry's integrity field for it, sha512-ceoilUVraRuR5FnNyXpGQT2auAR48Oc3AQBEmkXnVpSn9iN6yVRzQBFCqVTGWbk6Wdi95NhvwXNzFvuR7erLWw==,
# written in hex so that coreutils alone can check it.
sha512=71ea2295456b691b91e459cdc97a46413d9ab80478f0e7370100449a45e75694a7f6237ac95473401142a954c659b93a59d8bde4d86fc1737316fb91edeacb5b
dest=.deps/whisper.cpp-$version

[ -f "$dest/.complete" ] && exit 0

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
echo "Fetching whisper.cpp $version ($package)"
(cd "$scratch" && npm pack --silent "$package" >/dev/null)
tarball=$(ls "$scratch"/*.tgz)
actual=$(sha512sum "$tarball" | cut -d' ' -f1)
if [ "$actual" != "$sha512" ]; then
  echo "$package does not match its pinned integrity hash (sha512 $actual)" >&2
  exit 1
fi
tar -xzf "$tarball" -C "$scratch" package/cpp/whisper.cpp
rm -rf "$dest"
mkdir -p .deps
mv "$scratch/package/cpp/whisper.cpp" "$dest"
grep -q "project(\"whisper.cpp\" VERSION $version)" "$dest/CMakeLists.txt" || {
  echo "$package does not hold whisper.cpp $version" >&2
  exit 1
}
touch "$dest/.complete"
