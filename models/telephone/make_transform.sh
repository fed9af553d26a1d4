#!/usr/bin/env bash
# Regenerates models/telephone/mllr_matrix: the MLLR transform that fits
# Debian's US-English acoustic model (trained on 16 kHz speech) to telephone
# audio, which vorn-speech applies to narrowband speech.
#
# Usage: models/telephone/make_transform.sh [work-dir]    (default: a temporary dir)
#
# The mismatch to undo is the channel (no energy above ~3.4 kHz, codec
# distortion), not the speaker. A transform estimated straight from voices
# on the phone learns both, and what it learns of those voices hurts every
# other one. So the channel is taken apart from the voice, one voice at a
# time, from parallel copies of the same utterances:
#   1. the voice's wideband copies give a speaker transform of the model;
#   2. on that speaker-adapted model, the voice's telephone copies give a
#      channel transform, estimated twice (the second on top of the first)
#      and composed;
#   3. the channel transforms of all voices are averaged.
# The voices are synthetic (flite, festival, espeak-ng) reading
# adaptation_sentences.txt; each utterance goes through one of the codecs
# calls and voicemail use (G.711 mu-law and A-law, GSM 06.10, AMR-NB, plain
# 8 kHz PCM), band-limited to 300-3400 Hz, then is read back at 16 kHz, and
# features are computed with the model's own front-end settings.
#
# Kept out of it, for checking only (bench/telephone_benchmark.sh): every
# real recording (pocketsphinx-testdata's clips, the phone prompts of
# bench/telephone_prompts.tsv), the "slt" voice (flite and festival) and
# the sentences of bench/telephone_sentences.txt. The method (speaker first,
# two channel passes, equal weights) was chosen on the "tune" half of the
# phone prompts.
#
# One global transform, because the engine applies only the first
# regression class of a transform.
#
# Needs the Debian packages pocketsphinx-en-us, sphinxtrain,
# sphinxbase-utils, pocketsphinx, flite, festival, festvox-kdlpc16k,
# festvox-kallpc16k, espeak-ng, ffmpeg, sox and libsox-fmt-all
# (scripts/setup.sh installs them). Takes about ten minutes on two cores.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
model=/usr/share/pocketsphinx/model/en-us
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

# 2. The utterances: "id<TAB>voice<TAB>words" per line.
voices=(flite:awb flite:rms flite:kal16 festival:ked festival:kal
        espeak:en-us+m1 espeak:en-us+m2 espeak:en-us+m3 espeak:en-us+m5
        espeak:en-us+f1 espeak:en-us+f2 espeak:en-us+f3 espeak:en-us+f4
        espeak:en-us+klatt espeak:en-gb+m2 espeak:en-gb-scotland+m4
        espeak:en-gb-x-rp+m7 espeak:en-029+f5)
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

# 3. Each utterance spoken, read at 16 kHz as it is (wide/) and sent
# through a telephone channel (the codec chosen by its number, so every
# voice meets every codec) and read back at 16 kHz (phone/).
mkdir -p "$work/spoken" "$work/codec" "$work/wide" "$work/phone"
speak_and_phone() {
  local id="$1" voice="$2" words="$3" work="$4"
  local spoken="$work/spoken/$id.wav" kind="${voice%%:*}" name="${voice#*:}"
  [[ -s "$work/phone/$id.wav" ]] && return  # made by an earlier run in this work dir
  case "$kind" in
    flite) flite -voice "$name" -t "$words" -o "$spoken" ;;
    festival) printf '%s\n' "$words" > "$work/spoken/$id.txt"
              text2wave -eval "(voice_${name}_diphone)" "$work/spoken/$id.txt" -o "$spoken" ;;
    espeak) espeak-ng -v "$name" -w "$spoken" "$words" ;;
  esac
  ffmpeg -v error -y -i "$spoken" -ar 16000 -ac 1 -c:a pcm_s16le "$work/wide/$id.wav"
  local number=$((10#${id#u})) band="highpass=f=300,lowpass=f=3400"
  local coded
  case $((number % 5)) in
    0) coded="$work/codec/$id.wav"
       ffmpeg -v error -y -i "$spoken" -af "$band" -ar 8000 -ac 1 -c:a pcm_mulaw "$coded" ;;
    1) coded="$work/codec/$id.wav"
       ffmpeg -v error -y -i "$spoken" -af "$band" -ar 8000 -ac 1 -c:a pcm_alaw "$coded" ;;
    2) coded="$work/codec/$id.gsm"
       ffmpeg -v error -y -i "$spoken" -af "$band" -ar 8000 -ac 1 -c:a libgsm -f gsm "$coded" ;;
    3) coded="$work/codec/$id.amr"
       ffmpeg -v error -y -i "$spoken" -af "$band" -ar 8000 -ac 1 -f wav "$work/codec/$id.tmp.wav"
       sox -R "$work/codec/$id.tmp.wav" -t amr-nb "$coded" && rm "$work/codec/$id.tmp.wav" ;;
    4) coded="$work/codec/$id.wav"
       ffmpeg -v error -y -i "$spoken" -af "$band" -ar 8000 -ac 1 -c:a pcm_s16le "$coded" ;;
  esac
  # FFmpeg's AMR decoder stops at the comfort-noise frames sox writes in
  # the pauses (the tool reads them as silence), which would cut or corrupt
  # every AMR utterance; sox decodes them.
  if [[ "$coded" == *.amr ]]; then
    sox -R -t amr-nb "$coded" -b 16 "$work/codec/$id.decoded.wav"
    coded="$work/codec/$id.decoded.wav"
  fi
  ffmpeg -v error -y -i "$coded" -ar 16000 -ac 1 -c:a pcm_s16le "$work/phone/$id.wav"
}
export -f speak_and_phone
tr '\t' '\n' < "$list" | tr '\n' '\0' |
  xargs -0 -n 3 -P "$jobs" bash -c 'speak_and_phone "$1" "$2" "$3" "'"$work"'"' _

# 4. Features of both copies, with the front-end settings the decoder uses
# (the model's feat.params; every frame kept, as the tool decodes).
cut -f1 "$list" > "$work/fileids"
for copy in wide phone; do
  mkdir -p "$work/mfc_$copy"
  sphinx_fe -argfile "$model/en-us/feat.params" -samprate 16000 -remove_silence no -mswav yes \
    -c "$work/fileids" -di "$work/$copy" -ei wav -do "$work/mfc_$copy" -eo mfc \
    > "$work/sphinx_fe_$copy.log" 2>&1 || { tail -5 "$work/sphinx_fe_$copy.log" >&2; exit 1; }
done

# 5. Per voice: its speaker transform from the wideband copies, then two
# passes of channel transform from the telephone copies.
#
# estimate HMM-DIR FEATURES IDS TRANSCRIPTION OUT: sphinxtrain's bw collects
# the statistics of the model in HMM-DIR on the features (forced alignment
# against the known words) and mllr_solve turns them into one transform.
estimate() {
  local hmm="$1" features="$2" ids="$3" transcription="$4" out="$5"
  mkdir -p "$out.accum"
  "$sphinxtrain/bw" -hmmdir "$hmm" -moddeffn "$work/hmm/mdef.txt" -ts2cbfn .ptm. \
    -feat 1s_c_d_dd -svspec 0-12/13-25/26-38 -cmn batch -agc none \
    -dictfn "$model/cmudict-en-us.dict" -fdictfn "$work/hmm/noisedict" \
    -ctlfn "$ids" -lsnfn "$transcription" -cepdir "$features" -cepext mfc \
    -accumdir "$out.accum" > "$out.bw.log" 2>&1 ||
    { tail -20 "$out.bw.log" >&2; return 1; }
  "$sphinxtrain/mllr_solve" -meanfn "$hmm/means" -varfn "$hmm/variances" \
    -outmllrfn "$out" -accumdir "$out.accum" > "$out.solve.log" 2>&1 ||
    { tail -20 "$out.solve.log" >&2; return 1; }
}
# adapted HMM-DIR TRANSFORM OUT-DIR: the model of HMM-DIR with its means
# moved by TRANSFORM.
adapted() {
  mkdir -p "$3"
  cp "$work/hmm/"{variances,transition_matrices,mixture_weights} "$3/"
  "$sphinxtrain/mllr_transform" -inmeanfn "$1/means" -outmeanfn "$3/means" \
    -mllrmat "$2" > "$3.log" 2>&1 || { tail -5 "$3.log" >&2; return 1; }
}
channel_of_voice() {
  local voice="$1" dir="$work/voices/${1//[:+]/_}"
  mkdir -p "$dir"
  awk -F'\t' -v v="$voice" '$2 == v { print $1 }' "$list" > "$dir/ids"
  awk -F'\t' -v v="$voice" '$2 == v { printf "<s> %s </s> (%s)\n", $3, $1 }' "$list" \
    > "$dir/transcription"
  estimate "$work/hmm" "$work/mfc_wide" "$dir/ids" "$dir/transcription" "$dir/speaker"
  adapted "$work/hmm" "$dir/speaker" "$dir/hmm_speaker"
  estimate "$dir/hmm_speaker" "$work/mfc_phone" "$dir/ids" "$dir/transcription" "$dir/channel1"
  adapted "$dir/hmm_speaker" "$dir/channel1" "$dir/hmm_channel1"
  estimate "$dir/hmm_channel1" "$work/mfc_phone" "$dir/ids" "$dir/transcription" "$dir/channel2"
  python3 "$here/mllr_transforms.py" compose "$dir/channel1" "$dir/channel2" "$dir/channel"
}
export -f estimate adapted channel_of_voice
export work list model sphinxtrain here
printf '%s\0' "${voices[@]}" | xargs -0 -n 1 -P "$jobs" bash -c 'channel_of_voice "$1"' _

# 6. The transform the tool applies: the voices' channels, averaged.
channels=()
for voice in "${voices[@]}"; do channels+=("$work/voices/${voice//[:+]/_}/channel"); done
python3 "$here/mllr_transforms.py" mean "$work/mllr_matrix" "${channels[@]}"
cp "$work/mllr_matrix" "$here/mllr_matrix"
echo "wrote $here/mllr_matrix from ${#voices[@]} voices, $(wc -l < "$work/fileids") utterances"
