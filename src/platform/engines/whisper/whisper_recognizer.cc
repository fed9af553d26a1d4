#include "platform/engines/whisper/whisper_recognizer.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <string_view>

#include <whisper.h>

#include "platform/engines/signal/word_edges.h"
#include "platform/engines/whisper/alignment_heads.h"
#include "platform/error.h"
#include "text/utf8.h"

namespace vorn {
namespace {

void ignoreLog(ggml_log_level /*level*/, const char* /*text*/, void* /*user*/) {}

}  // namespace

void silenceWhisperLogging() {
  static std::once_flag once;
  std::call_once(once, [] {
    whisper_log_set(ignoreLog, nullptr);
    ggml_log_set(ignoreLog, nullptr);
  });
}

void WhisperRecognizer::FreeContext::operator()(whisper_context* context) const noexcept {
  whisper_free(context);
}

WhisperRecognizer::WhisperRecognizer(const WhisperModelInfo& model, std::string language,
                                     int threads, WhisperDecoding decoding)
    : language_(std::move(language)), threads_(std::max(1, threads)), decoding_(decoding) {
  silenceWhisperLogging();
  whisper_context_params params = whisper_context_default_params();
  params.use_gpu = false;
  // On by default, as whisper.cpp's command line has it. Our build of
  // whisper.cpp keeps it with the alignment too (patches/whisper.cpp/): only
  // the decoder's cross-attention, which the alignment reads, is then
  // computed in full.
  params.flash_attn = decoding_.flashAttention;
  if (decoding_.wordTimes != WhisperDecoding::WordTimes::kTokenTimestamps) {
    params.dtw_token_timestamps = true;
    const AlignmentHeads heads = alignmentHeadsFor(model);
    params.dtw_aheads_preset = heads.preset;
    params.dtw_n_top = heads.topLayers;
  }
  try {
    context_.reset(whisper_init_from_file_with_params(model.path.c_str(), params));
  } catch (const std::exception&) {
    // The loader reports most failures by returning null, some by throwing.
  }
  if (!context_) {
    throw Error("the whisper model " + printableInLine(model.path.string()) +
                " could not be loaded");
  }
}

WhisperRecognizer::~WhisperRecognizer() = default;

std::vector<RecognizedWord> WhisperRecognizer::recognize(std::span<const float> samples) {
  if (samples.empty()) return {};
  whisper_full_params params = whisper_full_default_params(WHISPER_SAMPLING_BEAM_SEARCH);
  params.n_threads = threads_;
  params.language = language_.c_str();
  params.detect_language = false;
  params.translate = false;
  params.print_progress = false;
  params.print_realtime = false;
  params.print_timestamps = false;
  params.print_special = false;
  params.token_timestamps = decoding_.wordTimes == WhisperDecoding::WordTimes::kTokenTimestamps;
  params.no_context = !decoding_.earlierTextAsContext;
  // whisper.cpp's command-line defaults, spelled out so that a change of
  // the library's own defaults cannot change our transcripts unnoticed.
  params.beam_search.beam_size = 5;
  params.greedy.best_of = 5;
  params.temperature = 0.0f;
  params.temperature_inc = 0.2f;
  params.entropy_thold = 2.4f;
  params.logprob_thold = -1.0f;
  params.no_speech_thold = 0.6f;

  whisper_context* context = context_.get();
  int status = -1;
  try {
    status = whisper_full(context, params, samples.data(), static_cast<int>(samples.size()));
  } catch (const std::exception&) {
    status = -1;
  }
  if (status != 0) throw Error("the whisper engine failed to decode the audio");

  const whisper_token firstSpecial = whisper_token_eot(context);
  const bool aligned = decoding_.wordTimes != WhisperDecoding::WordTimes::kTokenTimestamps;
  std::vector<WhisperToken> tokens;
  // With the alignment, whisper.cpp gives each text token the time where
  // the alignment passes from it to the next text token of the window, that
  // is the token's end (the window's last one gets none). A token starts
  // where the one before it ends; the window's first where its segment
  // starts.
  std::int64_t boundary = -1;
  const int segments = whisper_full_n_segments(context);
  for (int s = 0; s < segments; ++s) {
    tokens.push_back({"", 0, 0, true});  // a segment's first piece starts a word
    if (boundary < 0) boundary = whisper_full_get_segment_t0(context, s);
    const std::int64_t segmentEnd = whisper_full_get_segment_t1(context, s);
    const int count = whisper_full_n_tokens(context, s);
    for (int t = 0; t < count; ++t) {
      const whisper_token_data data = whisper_full_get_token_data(context, s, t);
      // Timestamps, the end of text, language and task markers: not words.
      if (data.id >= firstSpecial) {
        tokens.push_back({"", data.t0, data.t1, true});
      } else if (aligned) {
        const std::int64_t end = std::max(boundary, data.t_dtw >= 0 ? data.t_dtw : segmentEnd);
        tokens.push_back({whisper_token_to_str(context, data.id), boundary, end});
        boundary = end;
      } else {
        tokens.push_back({whisper_token_to_str(context, data.id), data.t0, data.t1});
      }
    }
  }
  const int lastFrame =
      static_cast<int>((samples.size() - 1) / AudioFile::kFrameSamples);
  std::vector<RecognizedWord> words = joinWhisperTokens(tokens, lastFrame);
  if (decoding_.wordTimes == WhisperDecoding::WordTimes::kAlignment) {
    words = fitWordEdges(std::move(words), samples);
  }
  return words;
}

}  // namespace vorn
