#!/usr/bin/env bash
# Word error rate of vorn-speech on the same held-out speech at 16 kHz and
# through telephone channels at 8 kHz: the 8 kHz file as stored, the same
# call resampled to a 16 kHz file (which the tool must tell from its
# spectrum), and, for reference, the 8 kHz file decoded without the
# telephone adaptation (a copy of the tool whose models folder holds an
# identity transform).
#
# Usage: bench/telephone_benchmark.sh [path/to/vorn-speech]    (default: build/vorn-speech)
#
# Held-out speech (none of it is used by models/telephone/make_transform.sh):
#   - prompts: the "check" half of bench/telephone_prompts.tsv (116 of a
#     professional voice's phone-system prompts, 892 words; Debian's
#     asterisk-core-sounds-en-g722 and -wav, CC BY-SA 3.0). These exist as
#     wideband G.722 recordings and as 8 kHz masters of the same takes; the
#     "master" row is the latter, real telephone-band audio. The "tune"
#     half was used to choose how the transform is estimated, so it is not
#     reported here;
#   - librivox: the five LibriVox clips of pocketsphinx-testdata (one real
#     reader, 71 words);
#   - jfk: whisper.cpp's sample, a 1961 broadcast (one real speaker, 22
#     words), when the whisper.cpp source has been fetched into .deps/;
#   - slt: the "slt" voice, in flite and in festival (HTS), reading
#     bench/telephone_sentences.txt (two renderings of one synthetic
#     speaker, 428 words).
# Each set is joined into one recording, a second of silence between
# utterances, so each condition is one run of the tool. The 8 kHz copies are
# band-limited to 300-3400 Hz and stored as plain 16-bit PCM, G.711 mu-law,
# GSM 06.10 and AMR-NB (12.2 kbit/s). The last column is the 8 kHz file's
# WER over the 16 kHz WER.
#
# sox runs with -R (the same dither every run): with random dither, two
# runs of the same benchmark differed by up to 16 errors in 428 words.
#
# WER is the word-level edit distance over the reference words of each set
# (bench/wer.py). Needs ffmpeg, sox with libsox-fmt-all, flite, festival,
# festvox-us-slt-hts and the asterisk-core-sounds-en packages above
# (scripts/setup.sh installs them).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
binary="${1:-$here/../build/vorn-speech}"
clips=/usr/share/pocketsphinx/test/data/librivox

[[ -x "$binary" ]] || { echo "no vorn-speech binary at $binary (build it, or pass its path)" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The reference tool: the same binary, with a telephone transform that
# changes nothing.
mkdir -p "$work/unadapted/models/telephone"
cp "$binary" "$work/unadapted/vorn-speech"
python3 - "$work/unadapted/models/telephone/mllr_matrix" <<'PY'
import sys
rows = ["1", "3"]
for _ in range(3):
    rows.append("13")
    rows += [" ".join("1.0" if i == j else "0.0" for j in range(13)) for i in range(13)]
    rows += [" ".join(["0.0"] * 13), " ".join(["1.0"] * 13)]
open(sys.argv[1], "w").write("\n".join(rows) + "\n")
PY

# Joins mono recordings into the WAV $1 at the rate $2, with a second of
# silence after each.
join_wavs() {
  local out="$1" rate="$2"; shift 2
  local parts=()
  for wav in "$@"; do
    sox -R "$wav" -r "$rate" -c 1 -b 16 "$work/part_${#parts[@]}.wav" pad 0 1
    parts+=("$work/part_${#parts[@]}.wav")
  done
  sox -R "${parts[@]}" "$out"
  rm -f "${parts[@]}"
}

# librivox
mapfile -t ids < "$clips/fileids"
join_wavs "$work/librivox.wav" 16000 $(for id in "${ids[@]}"; do echo "$clips/$id.wav"; done)
sed -E 's/<\/?s>//g; s/\([^)]*\)$//' "$clips/transcription" | tr '\n' ' ' > "$work/librivox.ref"

# prompts: the "check" half of bench/telephone_prompts.tsv, a real voice's
# phone prompts as wideband G.722 (the 16 kHz recording) and as the 8 kHz
# masters of the same takes (an extra "master" row).
prompts=/usr/share/asterisk/sounds/en_US_f_Allison
sets=()
if [[ -d "$prompts" ]]; then
  wide=()
  master=()
  while IFS=$'\t' read -r part name words; do
    [[ "$part" == check ]] || continue
    ffmpeg -nostdin -v error -y -i "$prompts/$name.g722" -c:a pcm_s16le "$work/prompt_${#wide[@]}.wav"
    wide+=("$work/prompt_${#wide[@]}.wav")
    master+=("$prompts/$name.wav")
    printf '%s ' "$words" >> "$work/prompts.ref"
  done < "$here/telephone_prompts.tsv"
  join_wavs "$work/prompts.wav" 16000 "${wide[@]}"
  join_wavs "$work/prompts.master.wav" 8000 "${master[@]}"
  ffmpeg -v error -y -i "$work/prompts.master.wav" -ar 16000 -c:a pcm_s16le "$work/prompts.master.16k.wav"
  rm -f "${wide[@]}"
  sets=(prompts)
fi

# jfk
jfk="$here/../.deps/whisper.cpp-1.9.1/bindings/go/samples/jfk.wav"
sets+=(librivox)
if [[ -f "$jfk" ]]; then
  join_wavs "$work/jfk.wav" 16000 "$jfk"
  echo "and so my fellow americans ask not what your country can do for you" \
       "ask what you can do for your country" > "$work/jfk.ref"
  sets+=(jfk)
fi
sets+=(slt)

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
join_wavs "$work/slt.wav" 16000 "${slt[@]}"

band="highpass=f=300,lowpass=f=3400"
# Writes the telephone copies of $1.wav: $1.<channel>.<ext> and, resampled
# to 16 kHz, $1.<channel>.16k.wav.
telephone_copies() {
  local base="$1"
  ffmpeg -v error -y -i "$base.wav" -af "$band" -ar 8000 -c:a pcm_s16le "$base.pcm8k.wav"
  ffmpeg -v error -y -i "$base.wav" -af "$band" -ar 8000 -c:a pcm_mulaw "$base.mulaw.wav"
  ffmpeg -v error -y -i "$base.wav" -af "$band" -ar 8000 -c:a libgsm -f gsm "$base.gsm.gsm"
  sox -R "$base.pcm8k.wav" -t amr-nb -C 7 "$base.amr.amr"
  for copy in "$base".pcm8k.wav "$base".mulaw.wav "$base".gsm.gsm; do
    local channel="${copy#"$base".}"
    ffmpeg -v error -y -i "$copy" -ar 16000 -c:a pcm_s16le "$base.${channel%%.*}.16k.wav"
  done
  # FFmpeg's AMR decoder rejects the comfort-noise frames of the pauses
  # (the tool reads them as silence); sox decodes them.
  sox -R -t amr-nb "$base.amr.amr" -r 16000 -b 16 "$base.amr.16k.wav"
}

words_of() {
  "$1" --input "$2" --locale en-US |
    python3 -c 'import json, sys; print(" ".join(s["text"] for s in json.loads(sys.stdin.read())["segments"]))'
}

# "errors/words wer%" of the transcript of $3 by the tool $1 against the
# reference $2.
score() {
  printf '%s (x)\n' "$(cat "$2")" > "$work/ref"
  printf '%s (x)\n' "$(words_of "$1" "$3")" > "$work/hyp"
  python3 "$here/wer.py" "$work/ref" "$work/hyp" | awk '$1 == "TOTAL" { print $2 "/" $3, $4 }'
}

printf '%-9s %-9s %-16s %-16s %-16s %s\n' set channel "8k file" "resampled 16k" "unadapted 8k" "8k/16k"
for set in "${sets[@]}"; do
  telephone_copies "$work/$set"
  read -r wide wideWer <<< "$(score "$binary" "$work/$set.ref" "$work/$set.wav")"
  printf '%-9s %-9s %-16s\n' "$set" 16k "$wide $wideWer"
  channels=(pcm8k mulaw gsm amr)
  [[ -f "$work/$set.master.wav" ]] && channels=(master "${channels[@]}")
  for channel in "${channels[@]}"; do
    copy=$(ls "$work/$set.$channel".* | grep -v '\.16k\.wav$')
    read -r file fileWer <<< "$(score "$binary" "$work/$set.ref" "$copy")"
    read -r resampled resampledWer <<< "$(score "$binary" "$work/$set.ref" "$work/$set.$channel.16k.wav")"
    read -r unadapted unadaptedWer <<< "$(score "$work/unadapted/vorn-speech" "$work/$set.ref" "$copy")"
    ratio=$(python3 -c "import sys; a, b = float(sys.argv[1].rstrip('%')), float(sys.argv[2].rstrip('%')); print(f'{a / b:.2f}' if b else '-')" "$fileWer" "$wideWer")
    printf '%-9s %-9s %-16s %-16s %-16s %s\n' "$set" "$channel" "$file $fileWer" \
      "$resampled $resampledWer" "$unadapted $unadaptedWer" "$ratio"
  done
done
