#!/usr/bin/env bash
# Puts the pinned whisper.cpp source in .deps/ (ignored by git), where the
# build finds it, with our patches from patches/whisper.cpp/ applied. Safe to
# run again: quiet and quick once the source is there; when the patches
# change it unpacks the kept package again and applies them afresh.
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
tarball=.deps/${package/@/-}.tgz

# The marker holds the patches' digest: a changed, added or removed patch
# means a fresh copy of the source.
patches=(patches/whisper.cpp/*.patch)
applied=$(cat "${patches[@]}" | sha256sum | cut -d' ' -f1)
[ -f "$dest/.complete" ] && [ "$(cat "$dest/.complete")" = "$applied" ] && exit 0

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
if [ ! -f "$tarball" ] || [ "$(sha512sum "$tarball" | cut -d' ' -f1)" != "$sha512" ]; then
  echo "Fetching whisper.cpp $version ($package)"
  (cd "$scratch" && npm pack --silent "$package" >/dev/null)
  fetched=$(ls "$scratch"/*.tgz)
  actual=$(sha512sum "$fetched" | cut -d' ' -f1)
  if [ "$actual" != "$sha512" ]; then
    echo "$package does not match its pinned integrity hash (sha512 $actual)" >&2
    exit 1
  fi
  mkdir -p .deps
  mv "$fetched" "$tarball"
fi
tar -xzf "$tarball" -C "$scratch" package/cpp/whisper.cpp
source="$scratch/package/cpp/whisper.cpp"
grep -q "project(\"whisper.cpp\" VERSION $version)" "$source/CMakeLists.txt" || {
  echo "$package does not hold whisper.cpp $version" >&2
  exit 1
}
# Fresh times, so that the builds in .deps/ recompile what a patch changed
# or a removed patch no longer changes (the archive's own times are older
# than their objects).
find "$source" -exec touch {} +
for p in "${patches[@]}"; do
  echo "Applying $p"
  patch -p1 --quiet --forward -d "$source" < "$p"
done
rm -rf "$dest"
mv "$source" "$dest"
echo "$applied" > "$dest/.complete"
