#!/usr/bin/env bash
# Puts the pinned FFmpeg source in .deps/ (ignored by git), where the build
# compiles the audio-only static FFmpeg that the self-contained Release build
# links (cmake/ffmpeg.cmake). Safe to run again: quiet and quick once the
# source is there. Needs root (or sudo) the first time only, to add the
# source entry below and refresh apt's lists.
#
# The source is Debian's own ffmpeg package, the very version whose shared
# libraries the other builds link: the same code (Debian's patches applied)
# decodes every file the same way in both. apt fetches it from the archive
# and release that apt already uses for binaries, checked against the
# archive's signed index; the tarball is checked once more against the hash
# pinned here, so the build always compiles the same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."

version=5.1.9
debian_version=7:5.1.9-0+deb12u1
orig=ffmpeg_${version}.orig.tar.xz
orig_sha256=d9b593bb2ba93d4b50f74177e0cdcd41747e708596367deed0c30348a71dd176
debian=ffmpeg_${version}-0+deb12u1.debian.tar.xz
debian_sha256=71b20472ecd2764bc98e3229d34c0f7c8dcfe4a6cbacc23fd5604c23bac04632
dest=.deps/ffmpeg-$version

[ -f "$dest/.complete" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then sudo=sudo; else sudo=; fi

# A deb-src entry for each Debian entry apt reads binaries from (same
# address, same suites), in a file of our own, written from the machine's
# own sources at run time so that it follows whatever mirror the machine
# uses. Both the one-line and the deb822 format are read.
source_list=/etc/apt/sources.list.d/vorn-speech-src.sources
known=$(apt-cache showsrc ffmpeg 2>/dev/null || true)
if ! grep -qx "Version: $debian_version" <<<"$known"; then
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  entries=$(
    {
      # deb822: every enabled stanza of Types deb whose suites are this
      # release's, with its Types line turned into deb-src.
      for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] && [ "$f" != "$source_list" ] || continue
        awk -v codename="$codename" '
          function flush() {
            if (stanza != "" && is_deb && ours && enabled) printf "%s\n", stanza
            stanza = ""; is_deb = 0; ours = 0; enabled = 1
          }
          BEGIN { enabled = 1 }
          /^[[:space:]]*$/ { flush(); next }
          /^#/ { next }
          /^Types:/ { if ($0 ~ /[[:space:]]deb([[:space:]]|$)/) is_deb = 1; stanza = stanza "Types: deb-src\n"; next }
          /^Suites:/ { if ($0 ~ ("[[:space:]]" codename)) ours = 1 }
          /^Enabled:[[:space:]]*no/ { enabled = 0 }
          { stanza = stanza $0 "\n" }
          END { flush() }' "$f"
      done
      # One-line format: "deb [options] URI suite components..." lines.
      for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        awk -v codename="$codename" '
          $1 == "deb" {
            i = 2; opts = ""
            if ($2 ~ /^\[/) { while ($i !~ /\]$/) { opts = opts " " $i; i++ }; opts = opts " " $i; i++ }
            uri = $i; suite = $(i + 1); comps = ""
            for (j = i + 2; j <= NF; j++) comps = comps " " $j
            if (suite !~ ("^" codename)) next
            signed = ""
            if (match(opts, /signed-by=[^] ]*/)) signed = substr(opts, RSTART + 10, RLENGTH - 10)
            printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:%s\n", uri, suite, comps
            if (signed != "") printf "Signed-By: %s\n", signed
            printf "\n"
          }' "$f"
      done
    })
  if [ -z "$entries" ]; then
    echo "apt has no Debian $codename entry to take a deb-src entry from" >&2
    exit 1
  fi
  echo "Adding the Debian source entries for ffmpeg ($source_list)"
  printf '%s\n' "$entries" | $sudo tee "$source_list" >/dev/null
  $sudo apt-get update -qq
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# apt run as root downloads as its own unprivileged user, who must be able
# to write here.
[ "$(id -u)" -ne 0 ] || chown _apt "$scratch" 2>/dev/null || true
echo "Fetching Debian's ffmpeg $debian_version source"
(cd "$scratch" && apt-get source -qq --download-only "ffmpeg=$debian_version" >/dev/null)
for pair in "$orig:$orig_sha256" "$debian:$debian_sha256"; do
  file=${pair%%:*} expected=${pair#*:}
  actual=$(sha256sum "$scratch/$file" | cut -d' ' -f1)
  if [ "$actual" != "$expected" ]; then
    echo "$file does not match its pinned hash (sha256 $actual)" >&2
    exit 1
  fi
done
# Unpacked with Debian's patches applied, as the packaged libraries were
# built.
(cd "$scratch" && dpkg-source --no-check -q -x ./*.dsc source >/dev/null)
rm -rf "$dest"
mkdir -p .deps
mv "$scratch/source" "$dest"
grep -qx "$version" "$dest/RELEASE" || {
  echo "the source in $dest is not FFmpeg $version" >&2
  exit 1
}
touch "$dest/.complete"
