#!/usr/bin/env bash
# The installed tool runs where nothing but the C and C++ runtime is
# installed: the folder `cmake --install` makes (or the packed tarball),
# copied into an empty root that holds only the dynamic loader and the
# runtime libraries taken from this machine, transcribes the shipped sample
# under chroot with status 0 and the same document as outside it; and ldd
# lists nothing beyond that runtime.
#
#   bundle_test.sh CMAKE BUILD_DIR SAMPLE [TARBALL]
#
# CMAKE installs BUILD_DIR into a temporary prefix; with TARBALL, that is
# unpacked instead. Needs root (chroot, mount); skips with status 77
# otherwise, which CTest reports as skipped.
set -euo pipefail

if [ $# -lt 3 ]; then
  echo "usage: $0 CMAKE BUILD_DIR SAMPLE [TARBALL]" >&2
  exit 2
fi
cmake=$1 build=$2 sample=$3 tarball=${4:-}

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIPPED: the bare-root test needs root, to mount /proc and /dev and to chroot; run it as root (CI does)"
  exit 77
fi

# The libraries the tool may load: glibc's, the loader, and the C++
# runtime (which the self-contained build links in, but which the bare root
# holds anyway, as any system with a C++ program has it).
runtime=(libc.so.6 libm.so.6 libpthread.so.0 libdl.so.2 librt.so.1 libstdc++.so.6 libgcc_s.so.1)

work=$(mktemp -d "${TMPDIR:-/tmp}/vorn-bundle-XXXXXX")
root=$work/root
cleanup() {
  local status=$?
  local still=()
  for m in "$root/proc" "$root/dev"; do
    if mountpoint -q "$m"; then
      umount "$m" 2>/dev/null || umount -l "$m" || true
      mountpoint -q "$m" && still+=("$m")
    fi
  done
  if [ ${#still[@]} -gt 0 ]; then
    # Never delete through a live mount of the machine's /dev or /proc.
    echo "FAILED: could not unmount ${still[*]}; left $work in place" >&2
    exit 1
  fi
  rm -rf --one-file-system "$work"
  exit "$status"
}
trap cleanup EXIT

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

bundle=$work/bundle
if [ -n "$tarball" ]; then
  mkdir -p "$bundle"
  tar -xzf "$tarball" -C "$bundle" --strip-components=1
else
  "$cmake" --install "$build" --prefix "$bundle" >/dev/null
fi
tool=$bundle/bin/vorn-speech
[ -x "$tool" ] || fail "no executable at bin/vorn-speech in the bundle"

# ldd, outside the root: every line must name the loader, the vDSO or one
# of the runtime libraries.
extra=()
while read -r line; do
  name=${line%% *}
  name=${name##*/}
  case " linux-vdso.so.1 ${runtime[*]} " in
    *" $name "*) ;;
    *) [[ $name == ld-linux* ]] || extra+=("$line") ;;
  esac
done < <(ldd "$tool")
if [ ${#extra[@]} -gt 0 ]; then
  fail "the tool loads libraries beyond the C/C++ runtime:"$'\n'"$(printf '  %s\n' "${extra[@]}")"
fi

# The bare root: the loader the tool names, the runtime libraries at the
# paths the loader searches, the bundle, the sample.
interpreter=$(readelf -l "$tool" | sed -n 's/.*Requesting program interpreter: \(.*\)]$/\1/p')
[ -n "$interpreter" ] || fail "the tool names no program interpreter"
mkdir -p "$root/proc" "$root/dev" "$root/opt" "$(dirname "$root$interpreter")"
cp -L "$interpreter" "$root$interpreter"
for name in "${runtime[@]}"; do
  # awk reads to the end: leaving early would kill ldconfig with SIGPIPE,
  # which pipefail turns into a failure once its listing outgrows the pipe.
  path=$(ldconfig -p | awk -v n="$name" '$1 == n && /x86-64/ && !found { print $NF; found = 1 }')
  [ -n "$path" ] || fail "this machine has no $name to copy"
  mkdir -p "$root$(dirname "$path")"
  cp -L "$path" "$root$path"
done
cp -a "$bundle" "$root/opt/vorn-speech"
cp "$sample" "$root/sample.flac"

mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"

outside=$("$tool" --input "$sample") || fail "the installed tool failed outside the root (status $?)"
status=0
inside=$(chroot "$root" /opt/vorn-speech/bin/vorn-speech --input /sample.flac) || status=$?
[ "$status" -eq 0 ] || fail "the tool ended with status $status in the bare root"
if [ "$inside" != "$outside" ]; then
  fail "the document differs in the bare root"$'\n'"inside:  $inside"$'\n'"outside: $outside"
fi
[[ $outside == *'"segments":[{'* ]] || fail "the sample gave no words: $outside"
echo "transcribed the sample in a bare root holding only: ${interpreter##*/} ${runtime[*]}"
