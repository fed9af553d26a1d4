#!/usr/bin/env bash
# Word error rate of vorn-speech on the same held-out speech at 16 kHz and
# through telephone channels at 8 kHz, with the telephone adaptation (what
# the tool does for 8 kHz files) and, for reference, without it.
#
# Usage: bench/telephone_benchmark.sh [path/to/vorn-speech]    (default: build/vorn-speech)
#
# Held-out speech (none of it is used by models/telephone/make_transform.sh):
#   - librivox: the five LibriVox clips of pocketsphinx-testdata (one real
#     reader, 71 words);
#   - slt: the "slt" voice, in flite and in festival (HTS), reading
#     bench/telephone_sentences.txt (two renderings of one synthetic
#     speaker, 422 words).
# Each set is joined into one recording, a second of silence between
# utterances, so each condition is one run of the tool. The 8 kHz copies are
# band-limited to 300-3400 Hz and stored as plain 16-bit PCM, G.711 mu-law,
# GSM 06.10 and AMR-NB (12.2 kbit/s). "unadapted" is the same 8 kHz audio
# resampled to a 16 kHz file first, which the tool decodes with the model as
# installed: what an 8 kHz file got before the adaptation.
#
# WER is the word-level edit distance over the reference words of each set
# (bench/wer.py). Needs ffmpeg, sox with libsox-fmt-all, flite, festival and
# festvox-us-slt-hts (scripts/setup.sh installs them).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
binary="${1:-$here/../build/vorn-speech}"
clips=/usr/share/pocketsphinx/test/data/librivox

[[ -x "$binary" ]] || { echo "no vorn-speech binary at $binary (build it, or pass its path)" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Joins 16 kHz mono WAVs into $1 with a second of silence after each.
join_wavs() {
  local out="$1"; shift
  local parts=()
  for wav in "$@"; do
    sox "$wav" -r 16000 -c 1 -b 16 "$work/part_${#parts[@]}.wav" pad 0 1
    parts+=("$work/part_${#parts[@]}.wav")
  done
  sox "${parts[@]}" "$out"
  rm -f "${parts[@]}"
}

# librivox
mapfile -t ids < "$clips/fileids"
join_wavs "$work/librivox.wav" $(for id in "${ids[@]}"; do echo "$clips/$id.wav"; done)
sed -E 's/<\/?s>//g; s/\([^)]*\)$//' "$clips/transcription" | tr '\n' ' ' > "$work/librivox.ref"

# slt
slt=()
n=0
while IFS= read -r sentence; do
  [[ -n "$sentence" ]] || continue
  flite -voice slt -t "$sentence" -o "$work/slt_f$n.wav"
  printf '%s\n' "$sentence" > "$work/slt_$n.txt"
  text2wave -eval '(voice_cmu_us_slt_arctic_hts)' "$work/slt_$n.txt" -o "$work/slt_h$n.wav"
  slt+=("$work/slt_f$n.wav" "$work/slt_h$n.wav")
  printf '%s %s ' "$sentence" "$sentence" >> "$work/slt.ref"
  n=$((n + 1))
done < "$here/telephone_sentences.txt"
join_wavs "$work/slt.wav" "${slt[@]}"

band="highpass=f=300,lowpass=f=3400"
# Writes the telephone copies of $1.wav: $1.<channel>.<ext> and, upsampled,
# $1.<channel>.up.wav.
telephone_copies() {
  local base="$1"
  ffmpeg -v error -y -i "$base.wav" -af "$band" -ar 8000 -c:a pcm_s16le "$base.pcm8k.wav"
  ffmpeg -v error -y -i "$base.wav" -af "$band" -ar 8000 -c:a pcm_mulaw "$base.mulaw.wav"
  ffmpeg -v error -y -i "$base.wav" -af "$band" -ar 8000 -c:a libgsm -f gsm "$base.gsm.gsm"
  sox "$base.pcm8k.wav" -t amr-nb -C 7 "$base.amr.amr"
  for copy in "$base".pcm8k.wav "$base".mulaw.wav "$base".gsm.gsm; do
    local channel="${copy#"$base".}"
    ffmpeg -v error -y -i "$copy" -ar 16000 -c:a pcm_s16le "$base.${channel%%.*}.up.wav"
  done
  # FFmpeg's AMR decoder rejects the comfort-noise frames of the pauses
  # (the tool reads them as silence); sox decodes them.
  sox -t amr-nb "$base.amr.amr" -r 16000 -b 16 "$base.amr.up.wav"
}

words_of() {
  "$binary" --input "$1" --locale en-US |
    python3 -c 'import json, sys; print(" ".join(s["text"] for s in json.loads(sys.stdin.read())["segments"]))'
}

# "errors words wer%" of the transcript of $2 against the reference $1.
score() {
  printf '%s (x)\n' "$(cat "$1")" > "$work/ref"
  printf '%s (x)\n' "$(words_of "$2")" > "$work/hyp"
  python3 "$here/wer.py" "$work/ref" "$work/hyp" | awk '$1 == "TOTAL" { print $2, $3, $4 }'
}

printf '%-9s %-6s %-10s %7s %9s %7s\n' set rate channel adapted errors/words WER
for set in librivox slt; do
  telephone_copies "$work/$set"
  read -r e w r <<< "$(score "$work/$set.ref" "$work/$set.wav")"
  printf '%-9s %-6s %-10s %7s %9s %7s\n' "$set" 16k wideband - "$e/$w" "$r"
  for channel in pcm8k mulaw gsm amr; do
    copy=$(ls "$work/$set.$channel".* | grep -v '\.up\.wav$')
    read -r e w r <<< "$(score "$work/$set.ref" "$copy")"
    printf '%-9s %-6s %-10s %7s %9s %7s\n' "$set" 8k "$channel" yes "$e/$w" "$r"
    read -r e w r <<< "$(score "$work/$set.ref" "$work/$set.$channel.up.wav")"
    printf '%-9s %-6s %-10s %7s %9s %7s\n' "$set" 8k "$channel" no "$e/$w" "$r"
  done
done
