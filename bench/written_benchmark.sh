#!/usr/bin/env bash
# How readable vorn-speech's transcripts are, and whether it hears words in
# sounds that are not speech.
#
# Usage: bench/written_benchmark.sh [path/to/vorn-speech]    (default: build/vorn-speech)
#
# Development set: bench/devset/reference.txt holds each recording's text as
# written (cased, punctuated, several sentences); bench/devset/sources.txt
# says how each is made and why: a real professional voice's phone prompts
# (Debian's asterisk-core-sounds-en-g722), four to a recording; a LibriVox
# reader (Debian's pocketsphinx-testdata), consecutive clips joined; and, as
# a supplement, espeak-ng voices. Ids starting "tune-" are the tuning part;
# "check-" ones are for checking only and are never looked at while tuning.
# For each part and each of those sets it prints two word error rates (see
# bench/wer.py):
#   plain    case-insensitive, punctuation ignored
#   written  case kept; each of . , ? ! a token of its own
# and their difference, what the formatting still gets wrong ("real" is the
# prompts and the reader together).
#
# Non-speech set: sounds synthesized with sox (chord loops, tones, DTMF
# digits, dial and busy tones, clicks, white/pink/brown noise), each with a
# second of silence on either side; it prints the words found in each. The
# goal is none.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
binary="${1:-$here/../build/vorn-speech}"
clips=/usr/share/pocketsphinx/test/data/librivox
prompts=/usr/share/asterisk/sounds/en_US_f_Allison

[[ -x "$binary" ]] || { echo "no vorn-speech binary at $binary (build it, or pass its path)" >&2; exit 1; }
for tool in espeak-ng sox ffmpeg; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (Debian package $tool)" >&2; exit 1; }
done
[[ -d "$clips" ]] || { echo "the LibriVox clips are missing (Debian package pocketsphinx-testdata)" >&2; exit 1; }
[[ -d "$prompts" ]] || { echo "the phone prompts are missing (Debian package asterisk-core-sounds-en-g722)" >&2; exit 1; }

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
# The half of telephone_prompts.tsv a prompt belongs to ("tune" or "check").
half_of() { awk -F'\t' -v name="$1" '$2 == name { print $1 }' "$here/telephone_prompts.tsv"; }

grep -v '^#' "$here/devset/sources.txt" | while read -r id kind sources; do
  [[ -n "$id" ]] || continue
  wav="$work/$id.wav"
  parts=()
  case "$kind" in
    prompts)
      for name in $sources; do
        if [[ "$(half_of "$name")" != "${id%%-*}" ]]; then
          echo "$id: prompt $name is not in the ${id%%-*} half of telephone_prompts.tsv" >&2
          exit 1
        fi
        ffmpeg -nostdin -v error -y -i "$prompts/$name.g722" -c:a pcm_s16le "$work/$name.wav"
        parts+=("$work/$name.wav")
      done
      ;;
    librivox) for clip in $sources; do parts+=("$clips/$clip.wav"); done ;;
    espeak)
      text="$(grep -F "($id)" "$reference" | sed 's/ *([^()]*)$//')"
      espeak-ng -v "$sources" -s 140 -w "$work/$id.raw.wav" "$text"
      parts=("$work/$id.raw.wav")
      ;;
    *) echo "unknown recording kind $kind for $id" >&2; exit 1 ;;
  esac
  sox -R -V1 "${parts[@]}" -r 16000 -c 1 -b 16 "$wav" pad 0.5 0.5
  # Its own line, so that a failed run stops the benchmark.
  hypothesis="$(transcribe "$wav")"
  echo "$hypothesis ($id)" >> "$work/hyp.txt"
done

echo "Development set (bench/devset): word error rate, plain and as written"
printf "%-6s %-9s %6s %8s %8s %8s\n" part set words plain written "w - p"
for part in tune check; do
  for set in prompts librivox espeak real all; do
    case "$set" in
      real) pattern="($part-\(prompts\|librivox\)" ;;
      all) pattern="($part-" ;;
      *) pattern="($part-$set" ;;
    esac
    grep "$pattern" "$reference" > "$work/ref.$part.$set"
    plain=$(python3 "$here/wer.py" "$work/ref.$part.$set" "$work/hyp.txt" | tail -1)
    written=$(python3 "$here/wer.py" --written "$work/ref.$part.$set" "$work/hyp.txt" | tail -1)
    read -r _ _ words plainWer <<< "$plain"
    read -r _ _ _ writtenWer <<< "$written"
    printf "%-6s %-9s %6s %8s %8s %8s\n" "$part" "$set" "$words" "$plainWer" "$writtenWer" \
      "$(python3 -c 'import sys; print(f"{float(sys.argv[2][:-1]) - float(sys.argv[1][:-1]):.1f}")' "$plainWer" "$writtenWer")"
  done
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
