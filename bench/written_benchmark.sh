#!/usr/bin/env bash
# How readable vorn-speech's transcripts are, and whether it hears words in
# sounds that are not speech.
#
# Usage: bench/written_benchmark.sh [path/to/vorn-speech]    (default: build/vorn-speech)
#
# Development set: bench/devset/reference.txt holds each recording's text as
# written (cased, punctuated); bench/devset/sources.txt says how each is made
# (a LibriVox clip of Debian's pocketsphinx-testdata, or espeak-ng speaking
# the text in a given voice). Ids starting "tune-" are the tuning part;
# "check-" ones are for checking only and are never looked at while tuning.
# For each part it prints two word error rates (see bench/wer.py):
#   plain    case-insensitive, punctuation ignored
#   written  case kept; each of . , ? ! a token of its own
# Their difference is what the formatting still gets wrong.
#
# Non-speech set: sounds synthesized with sox (chord loops, tones, DTMF
# digits, dial and busy tones, clicks, white/pink/brown noise), each with a
# second of silence on either side; it prints the words found in each. The
# goal is none.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
binary="${1:-$here/../build/vorn-speech}"
clips=/usr/share/pocketsphinx/test/data/librivox

[[ -x "$binary" ]] || { echo "no vorn-speech binary at $binary (build it, or pass its path)" >&2; exit 1; }
for tool in espeak-ng sox; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (Debian package $tool)" >&2; exit 1; }
done
[[ -d "$clips" ]] || { echo "the LibriVox clips are missing (Debian package pocketsphinx-testdata)" >&2; exit 1; }

# KEEP_DIR=dir keeps the recordings and transcripts there, for a closer look.
if [[ -n "${KEEP_DIR:-}" ]]; then
  work="$KEEP_DIR"
  rm -rf "$work" && mkdir -p "$work"
else
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
fi

# The words of vorn-speech's JSON line, in order, on one line.
transcribe() {
  "$binary" --input "$1" --locale en-US |
    python3 -c 'import json, sys; print(" ".join(s["text"] for s in json.loads(sys.stdin.read())["segments"]))'
}

reference="$here/devset/reference.txt"
grep -v '^#' "$here/devset/sources.txt" | while read -r id kind source; do
  [[ -n "$id" ]] || continue
  wav="$work/$id.wav"
  case "$kind" in
    librivox) cp "$clips/$source.wav" "$wav" ;;
    espeak)
      text="$(grep -F "($id)" "$reference" | sed 's/ *([^()]*)$//')"
      espeak-ng -v "$source" -s 140 -w "$work/$id.raw.wav" "$text"
      sox -R -V1 "$work/$id.raw.wav" -r 16000 -c 1 "$wav" pad 0.5 0.5
      ;;
    *) echo "unknown recording kind $kind for $id" >&2; exit 1 ;;
  esac
  echo "$(transcribe "$wav") ($id)" >> "$work/hyp.txt"
done

echo "Development set (bench/devset): word error rate, plain and as written"
printf "%-8s %6s %9s %9s\n" part words plain written
for part in tune check; do
  grep -F "($part-" "$reference" > "$work/ref.$part"
  plain=$(python3 "$here/wer.py" "$work/ref.$part" "$work/hyp.txt" | tail -1)
  written=$(python3 "$here/wer.py" --written "$work/ref.$part" "$work/hyp.txt" | tail -1)
  printf "%-8s %6s %9s %9s\n" "$part" "$(echo "$plain" | cut -d' ' -f3)" \
    "$(echo "$plain" | cut -d' ' -f4)" "$(echo "$written" | cut -d' ' -f4)"
done
if [[ -n "${VERBOSE:-}" ]]; then cat "$work/hyp.txt"; fi

# sox runs with -R throughout (the same dither and noise every run), so the
# figures repeat exactly.
#
# The non-speech set. Each sound is made mono at 16 kHz with a second of
# silence on either side, so that the utterance splitter sees it start.
synth() { sox -R -n -r 16000 -c 1 -b 16 "$@"; }
ns="$work/nonspeech"
mkdir -p "$ns"
chord() {  # chord FILE SECONDS NOTE NOTE NOTE: a plucked chord, like a piano
  sox -R -n -r 16000 -c 3 -b 16 "$ns/part.wav" synth "$2" pluck "$3" pluck "$4" pluck "$5"
  sox -R "$ns/part.wav" "$1" remix 1,2,3 norm -3
}
chord "$ns/c1.wav" 0.5 C4 E4 G4; chord "$ns/c2.wav" 0.5 F4 A4 C5
chord "$ns/c3.wav" 0.5 G3 B3 D4; chord "$ns/c4.wav" 0.5 A3 C4 E4
sox -R "$ns/c1.wav" "$ns/c2.wav" "$ns/c3.wav" "$ns/c4.wav" "$ns/loop.wav"
sox -R "$ns/loop.wav" "$ns/piano-chord-loop.wav" repeat 9 pad 1 1
sox -R -n -r 16000 -c 3 -b 16 "$ns/pad.wav" synth 2 sawtooth C3 sawtooth E3 sawtooth G3 tremolo 5 40
sox -R -n -r 16000 -c 3 -b 16 "$ns/pad2.wav" synth 2 sawtooth F3 sawtooth A3 sawtooth C4 tremolo 5 40
sox -R "$ns/pad.wav" "$ns/pad2.wav" "$ns/padloop.wav" remix 1,2,3 norm -6
sox -R "$ns/padloop.wav" "$ns/synth-pad-loop.wav" repeat 3 pad 1 1
synth "$ns/sine-1khz.wav" synth 5 sine 1000 vol 0.5 pad 1 1
synth "$ns/sine-sweep.wav" synth 5 sine 200-3000 vol 0.5 pad 1 1
sox -R -n -r 16000 -c 2 -b 16 "$ns/dial.wav" synth 5 sine 350 sine 440
sox -R "$ns/dial.wav" "$ns/dial-tone.wav" remix 1,2 vol 0.5 pad 1 1
sox -R -n -r 16000 -c 2 -b 16 "$ns/busy.wav" synth 0.5 sine 480 sine 620 pad 0 0.5
sox -R "$ns/busy.wav" "$ns/busy-tone.wav" remix 1,2 vol 0.5 repeat 5 pad 1 1
digits=()
for pair in "697 1209" "697 1336" "770 1477" "852 1209" "941 1336" "697 1477" "770 1336" "852 1477"; do
  set -- $pair
  sox -R -n -r 16000 -c 2 -b 16 "$ns/d$1$2.wav" synth 0.12 sine "$1" sine "$2"
  sox -R "$ns/d$1$2.wav" "$ns/dd$1$2.wav" remix 1,2 vol 0.5 pad 0 0.08
  digits+=("$ns/dd$1$2.wav")
done
sox -R "${digits[@]}" "${digits[@]}" "$ns/dtmf-digits.wav" pad 1 1
synth "$ns/click.wav" synth 0.002 whitenoise vol 0.8 pad 0 0.248
sox -R "$ns/click.wav" "$ns/clicks.wav" repeat 19 pad 1 1
for colour in white pink brown; do
  synth "$ns/$colour-noise.wav" synth 5 "${colour}noise" vol 0.3 pad 1 1
done

echo
echo "Non-speech set: words found (goal: none)"
total=0
for sound in piano-chord-loop synth-pad-loop sine-1khz sine-sweep dial-tone busy-tone dtmf-digits \
             clicks white-noise pink-noise brown-noise; do
  words="$(transcribe "$ns/$sound.wav")"
  count=$(wc -w <<< "$words")
  total=$((total + count))
  printf "%-18s %3d  %s\n" "$sound" "$count" "$words"
done
printf "%-18s %3d\n" total "$total"
