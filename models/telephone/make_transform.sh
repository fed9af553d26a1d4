#!/usr/bin/env bash
# Regenerates models/telephone/mllr_matrix: the MLLR transform that fits
# Debian's US-English acoustic model (trained on 16 kHz speech) to telephone
# audio, which vorn-speech applies when a file is sampled at 8 kHz.
#
# Usage: models/telephone/make_transform.sh [work-dir]    (default: a temporary dir)
#
# The mismatch is the channel (no energy above ~3.4 kHz, codec distortion),
# not the speaker, so the transform is estimated from many voices speaking
# known sentences, each sent through a telephone channel: synthetic voices
# (flite, festival, espeak-ng) reading adaptation_sentences.txt, and the real
# recordings of pocketsphinx-testdata's "cards" set and "go forward". Every
# utterance goes through one of the codecs calls and voicemail use (G.711
# mu-law and A-law, GSM 06.10, AMR-NB, plain 8 kHz PCM), band-limited to
# 300-3400 Hz, then is read back at 16 kHz the way the tool's reader does,
# and its features are computed with the model's own front-end settings.
#
# Kept out of it, for checking only (bench/telephone_benchmark.sh): the
# LibriVox clips of pocketsphinx-testdata, the "slt" voice (flite and
# festival), and the sentences of bench/telephone_sentences.txt.
#
# Then sphinxtrain's bw collects the model's statistics on these features
# (forced alignment against the known words) and mllr_solve turns them into
# one global transform of the Gaussian means. Global, because the engine
# applies only the first regression class of a transform.
#
# Needs the Debian packages pocketsphinx-en-us, pocketsphinx-testdata,
# sphinxtrain, sphinxbase-utils, pocketsphinx, flite, festival,
# festvox-kdlpc16k, espeak-ng, ffmpeg, sox and libsox-fmt-all
# (scripts/setup.sh installs them). Takes a few minutes on two cores.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
model=/usr/share/pocketsphinx/model/en-us
testdata=/usr/share/pocketsphinx/test/data
sphinxtrain=/usr/lib/sphinxtrain
jobs=2

if [[ $# -ge 1 ]]; then
  work="$1"
  mkdir -p "$work"
else
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
fi
work="$(cd "$work" && pwd)"

# 1. The model in the form the training tools read: a text mdef and the
# mixture weights as an s3 file.
mkdir -p "$work/hmm"
cp "$model/en-us/"{means,variances,transition_matrices,noisedict,feat.params} "$work/hmm/"
pocketsphinx_mdef_convert -text "$model/en-us/mdef" "$work/hmm/mdef.txt" >/dev/null 2>&1
python3 "$here/sendump_to_mixture_weights.py" "$model/en-us/sendump" "$work/hmm/mixture_weights"

# 2. The utterances: "id<TAB>speaker<TAB>words" per line.
voices=(flite:awb flite:rms flite:kal16 festival:ked espeak:en-us+m1 espeak:en-us+m3
        espeak:en-us+f2 espeak:en-us+f4 espeak:en-gb+m2 espeak:en-us+klatt)
list="$work/utterances.tsv"
: > "$list"
n=0
for voice in "${voices[@]}"; do
  while IFS= read -r sentence; do
    [[ -n "$sentence" ]] || continue
    printf 'u%04d\t%s\t%s\n' "$n" "$voice" "$sentence" >> "$list"
    n=$((n + 1))
  done < "$here/adaptation_sentences.txt"
done
while read -r line; do
  id=$(sed -E 's/.*\(([^)]*)\)$/\1/' <<< "$line")
  words=$(sed -E 's/<\/?s>//g; s/\([^)]*\)$//; s/  +/ /g; s/^ //; s/ $//' <<< "$line")
  printf 'u%04d\treal:%s\t%s\n' "$n" "$testdata/cards/$id.wav" "$words" >> "$list"
  n=$((n + 1))
done < "$testdata/cards/cards.transcription"
printf 'u%04d\traw:%s\t%s\n' "$n" "$testdata/goforward.raw" "go forward ten meters" >> "$list"

# 3. Each utterance spoken, sent through a telephone channel (the codec
# chosen by its number, so every voice meets every codec), and read back at
# 16 kHz.
mkdir -p "$work/wide" "$work/phone" "$work/wav"
speak_and_phone() {
  local id="$1" speaker="$2" words="$3" work="$4"
  local wide="$work/wide/$id.wav" kind="${speaker%%:*}" name="${speaker#*:}"
  [[ -s "$work/wav/$id.wav" ]] && return  # made by an earlier run in this work dir
  case "$kind" in
    flite) flite -voice "$name" -t "$words" -o "$wide" ;;
    festival) printf '%s\n' "$words" > "$work/wide/$id.txt"
              text2wave -eval "(voice_${name}_diphone)" "$work/wide/$id.txt" -o "$wide" ;;
    espeak) espeak-ng -v "$name" -w "$wide" "$words" ;;
    real) cp "$name" "$wide" ;;
    raw) sox -t raw -r 16000 -e signed -b 16 -c 1 "$name" "$wide" ;;
  esac
  local number=$((10#${id#u})) band="highpass=f=300,lowpass=f=3400"
  local phone
  case $((number % 5)) in
    0) phone="$work/phone/$id.wav"
       ffmpeg -v error -y -i "$wide" -af "$band" -ar 8000 -ac 1 -c:a pcm_mulaw "$phone" ;;
    1) phone="$work/phone/$id.wav"
       ffmpeg -v error -y -i "$wide" -af "$band" -ar 8000 -ac 1 -c:a pcm_alaw "$phone" ;;
    2) phone="$work/phone/$id.gsm"
       ffmpeg -v error -y -i "$wide" -af "$band" -ar 8000 -ac 1 -c:a libgsm -f gsm "$phone" ;;
    3) phone="$work/phone/$id.amr"
       ffmpeg -v error -y -i "$wide" -af "$band" -ar 8000 -ac 1 -f wav "$work/phone/$id.tmp.wav"
       sox "$work/phone/$id.tmp.wav" -t amr-nb "$phone" && rm "$work/phone/$id.tmp.wav" ;;
    4) phone="$work/phone/$id.wav"
       ffmpeg -v error -y -i "$wide" -af "$band" -ar 8000 -ac 1 -c:a pcm_s16le "$phone" ;;
  esac
  # FFmpeg's AMR decoder stops at the comfort-noise frames sox writes in
  # the pauses (the tool reads them as silence), which would cut or corrupt
  # every AMR utterance; sox decodes them.
  if [[ "$phone" == *.amr ]]; then
    sox -t amr-nb "$phone" -b 16 "$work/phone/$id.decoded.wav"
    phone="$work/phone/$id.decoded.wav"
  fi
  ffmpeg -v error -y -i "$phone" -ar 16000 -ac 1 -c:a pcm_s16le "$work/wav/$id.wav"
}
export -f speak_and_phone
cut -f1 "$list" > "$work/fileids"
tr '\t' '\n' < "$list" | tr '\n' '\0' |
  xargs -0 -n 3 -P "$jobs" bash -c 'speak_and_phone "$1" "$2" "$3" "'"$work"'"' _

# 4. Features, with the front-end settings the decoder uses (the model's
# feat.params; every frame kept, as the tool decodes).
mkdir -p "$work/mfc"
sphinx_fe -argfile "$model/en-us/feat.params" -samprate 16000 -remove_silence no -mswav yes \
  -c "$work/fileids" -di "$work/wav" -ei wav -do "$work/mfc" -eo mfc \
  > "$work/sphinx_fe.log" 2>&1 || { tail -5 "$work/sphinx_fe.log" >&2; exit 1; }
awk -F'\t' '{ printf "<s> %s </s> (%s)\n", $3, $1 }' "$list" > "$work/transcription"

# 5. Statistics and the transform.
mkdir -p "$work/accum"
"$sphinxtrain/bw" -hmmdir "$work/hmm" -moddeffn "$work/hmm/mdef.txt" -ts2cbfn .ptm. \
  -feat 1s_c_d_dd -svspec 0-12/13-25/26-38 -cmn batch -agc none \
  -dictfn "$model/cmudict-en-us.dict" -fdictfn "$work/hmm/noisedict" \
  -ctlfn "$work/fileids" -lsnfn "$work/transcription" -cepdir "$work/mfc" -cepext mfc \
  -accumdir "$work/accum" > "$work/bw.log" 2>&1 ||
  { tail -20 "$work/bw.log" >&2; exit 1; }
"$sphinxtrain/mllr_solve" -meanfn "$work/hmm/means" -varfn "$work/hmm/variances" \
  -outmllrfn "$work/mllr_matrix" -accumdir "$work/accum" > "$work/mllr_solve.log" 2>&1 ||
  { tail -20 "$work/mllr_solve.log" >&2; exit 1; }
cp "$work/mllr_matrix" "$here/mllr_matrix"
echo "wrote $here/mllr_matrix from $(wc -l < "$work/fileids") utterances"
