#include "platform/audio/ffmpeg_audio_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/error.h"
#include "text/utf8.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace vorn {
namespace {

// Owners for FFmpeg's C objects, so that every exit path, thrown or not,
// frees them.
struct FormatCloser {
  void operator()(AVFormatContext* p) const { avformat_close_input(&p); }
};
struct CodecFreer {
  void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
};
struct FrameFreer {
  void operator()(AVFrame* p) const { av_frame_free(&p); }
};
struct PacketFreer {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct ResamplerFreer {
  void operator()(SwrContext* p) const { swr_free(&p); }
};
struct DictionaryFreer {
  void operator()(AVDictionary* p) const { av_dict_free(&p); }
};
using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerFreer>;

// No recorder makes audio above 768 kHz, and a header claiming far more is
// damaged or hostile: the resampler's filter tables grow with the source
// rate (about 9 MB per MHz), so such a claim would cost gigabytes and
// seconds before the first sample.
constexpr int kMaxSourceRate = 768000;

std::string implausibleRate(int rate) {
  return "the header claims a sample rate of " + std::to_string(rate) +
         " Hz, above the 768000 Hz that any real recording uses";
}

// The path is quoted printable: a name holding a line break must not split
// the one error line a caller reads.
Error failure(const std::string& path, const std::string& reason) {
  return Error("cannot read audio from " + printableInLine(path) + ": " + reason);
}

std::string ffmpegExplanation(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  if (av_strerror(code, text, sizeof text) < 0) return "error " + std::to_string(code);
  return text;
}

std::string corrupt(int code) {
  return "the audio data is corrupt (" + ffmpegExplanation(code) + ")";
}

// The reason an open() failing with errno `code` gives; the common cases in
// plain words, the rest in the system's.
std::string unreadable(int code) {
  if (code == ENOENT || code == ENOTDIR) return "there is no such file";
  if (code == EACCES || code == EPERM) return "permission denied";
  return "the file cannot be read (" + std::generic_category().message(code) + ")";
}

// The reason a failure of the demuxer (opening, probing or reading the
// file) with FFmpeg error `code` gives.
std::string demuxFailure(int code) {
  if (code == AVERROR_INVALIDDATA) return corrupt(code);
  // Demuxers report a file that ends inside a header or packet as EOF or as
  // EIO, the same code as a failing disk; only the words can cover both.
  if (code == AVERROR_EOF || code == AVERROR(EIO)) {
    return "the file ends too early or cannot be read (" + ffmpegExplanation(code) + ")";
  }
  // Other system errors: the file vanished, or cannot be opened after all.
  if (code < 0 && code >= -4095) return unreadable(AVUNERROR(code));
  return corrupt(code);
}

// Refuses anything but a regular file before FFmpeg opens it: opening a
// named pipe for reading blocks until a writer comes, which for a tool that
// runs unattended means forever, and a device may never end.
void requireRegularFile(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) throw failure(path, unreadable(errno));
  const mode_t type = status.st_mode & S_IFMT;
  if (type == S_IFREG) return;
  if (type == S_IFDIR) throw failure(path, "it is a directory");
  if (type == S_IFIFO) throw failure(path, "it is a named pipe, not a regular file");
  if (type == S_IFSOCK) throw failure(path, "it is a socket, not a regular file");
  if (type == S_IFCHR || type == S_IFBLK) throw failure(path, "it is a device, not a regular file");
  throw failure(path, "it is not a regular file");
}

void silenceFfmpeg() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

// One source sample as a finite value in [-1, 1]. Integer formats map their
// full range onto [-1, 1); floating-point values arrive as they were stored,
// so NaN, infinities and out-of-range values are possible and are dealt with
// here, before they meet other channels or the resampler.
float unitSample(std::uint8_t v) { return static_cast<float>(static_cast<int>(v) - 128) / 128.0f; }
float unitSample(std::int16_t v) { return static_cast<float>(v) / 32768.0f; }
float unitSample(std::int32_t v) {
  return static_cast<float>(static_cast<double>(v) / 2147483648.0);
}
float unitSample(std::int64_t v) {
  return static_cast<float>(static_cast<double>(v) / 9223372036854775808.0);
}
float unitSample(double v) {
  if (!std::isfinite(v)) return 0.0f;
  return static_cast<float>(std::clamp(v, -1.0, 1.0));
}
float unitSample(float v) { return unitSample(static_cast<double>(v)); }

// Writes the mean of `frame`'s channels, frame.nb_samples of them, to `mono`.
template <typename Sample>
void mixDown(const AVFrame& frame, bool planar, float* mono) {
  const int channels = frame.ch_layout.nb_channels;
  const std::size_t count = static_cast<std::size_t>(frame.nb_samples);
  std::fill(mono, mono + count, 0.0f);
  for (int c = 0; c < channels; ++c) {
    // Planar formats keep each channel in its own plane, and frames with
    // more than eight channels keep the planes past the eighth only in
    // extended_data; packed formats interleave all channels in plane 0.
    const Sample* samples = reinterpret_cast<const Sample*>(frame.extended_data[planar ? c : 0]);
    const std::size_t first = planar ? 0 : static_cast<std::size_t>(c);
    const std::size_t stride = planar ? 1 : static_cast<std::size_t>(channels);
    for (std::size_t i = 0; i < count; ++i) mono[i] += unitSample(samples[first + i * stride]);
  }
  // Dividing (rather than multiplying by 1/channels) keeps the mean of
  // values within [-1, 1] within [-1, 1] despite rounding.
  const float divisor = static_cast<float>(channels);
  for (std::size_t i = 0; i < count; ++i) mono[i] /= divisor;
}

// False when the frame's sample format is not one FFmpeg defines today.
bool mixDownAny(const AVFrame& frame, float* mono) {
  const auto format = static_cast<AVSampleFormat>(frame.format);
  const bool planar = av_sample_fmt_is_planar(format) != 0;
  switch (av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_U8: mixDown<std::uint8_t>(frame, planar, mono); return true;
    case AV_SAMPLE_FMT_S16: mixDown<std::int16_t>(frame, planar, mono); return true;
    case AV_SAMPLE_FMT_S32: mixDown<std::int32_t>(frame, planar, mono); return true;
    case AV_SAMPLE_FMT_S64: mixDown<std::int64_t>(frame, planar, mono); return true;
    case AV_SAMPLE_FMT_FLT: mixDown<float>(frame, planar, mono); return true;
    case AV_SAMPLE_FMT_DBL: mixDown<double>(frame, planar, mono); return true;
    default: return false;
  }
}

// The audio's length as the container states it, in samples at
// kSampleRate, or 0 when it states none. The stream's own duration comes
// first; the container's (which FFmpeg may have estimated from the bit rate
// and the file's size) stands in for it.
std::int64_t statedSamples(const AVFormatContext& format, const AVStream& stream) {
  const AVRational output{1, AudioFile::kSampleRate};
  if (stream.duration != AV_NOPTS_VALUE && stream.duration > 0 && stream.time_base.num > 0 &&
      stream.time_base.den > 0) {
    return av_rescale_q(stream.duration, stream.time_base, output);
  }
  if (format.duration != AV_NOPTS_VALUE && format.duration > 0) {
    return av_rescale_q(format.duration, AVRational{1, AV_TIME_BASE}, output);
  }
  return 0;
}

}  // namespace

// Everything FFmpeg; kept out of the header so that its users need not see
// FFmpeg's.
//
// The pipeline: demuxer → packet → decoder → frame → mixDown (mono float at
// the frame's own rate, sanitised) → resampler (to kSampleRate) → pending
// → the caller. `pending` holds the output of one frame (or one drain) at a
// time and is refilled only once the caller has taken all of it.
struct FfmpegAudioFile::Decoder {
  std::string path;
  FormatPtr format;
  CodecPtr codec;
  int streamIndex = -1;
  int sourceRate = 0;  // the stream's rate as declared by the container
  std::int64_t statedSamples = 0;  // the stated duration at kSampleRate; 0: unknown
  PacketPtr packet{av_packet_alloc()};
  FramePtr frame{av_frame_alloc()};

  // Converts mono float at resamplerRate to mono float at kSampleRate. The
  // downmix happens before it, so the only thing about the source that it
  // depends on is the rate: format or layout changes need nothing from it.
  ResamplerPtr resampler;
  int resamplerRate = 0;

  std::vector<float> mono;     // one frame, downmixed, at the frame's rate
  std::vector<float> pending;  // resampled, not yet delivered
  std::size_t delivered = 0;   // how much of `pending` the caller has had

  bool flushingDecoder = false;  // the demuxer is at its end; decoder told so
  bool finished = false;         // everything delivered to pending
  std::optional<Error> failed;   // set once read() has thrown

  std::size_t read(std::span<float> out);

 private:
  void refill();
  void takeFrame();
  // Phones and voicemail systems send AMR with discontinuous transmission:
  // during pauses, comfort-noise (SID) frames and empty frames take the
  // place of speech. FFmpeg's AMR decoders reject both (comfort noise is
  // not implemented, an empty frame is "corrupt"), which would fail every
  // such recording; each is read as 20 ms of silence instead, which is what
  // it stands for (near-silent background), keeping later times right.
  // The silence's length in samples for such a packet, else 0.
  int amrPauseSamples(const AVPacket& packet) const;
  void takeSilence(int count);
  // Points the resampler at `rate`, first draining what it holds at another.
  void useRate(int rate);
  void resample(const float* input, int count);
  void drainResampler();
  [[noreturn]] void fail(const std::string& reason);
};

[[noreturn]] void FfmpegAudioFile::Decoder::fail(const std::string& reason) {
  failed = failure(path, reason);
  throw *failed;
}

std::size_t FfmpegAudioFile::Decoder::read(std::span<float> out) {
  if (failed) throw *failed;
  std::size_t written = 0;
  while (written < out.size()) {
    if (delivered == pending.size()) {
      if (finished) break;
      refill();
      continue;
    }
    const std::size_t n = std::min(out.size() - written, pending.size() - delivered);
    std::copy_n(pending.begin() + static_cast<std::ptrdiff_t>(delivered), n,
                out.begin() + static_cast<std::ptrdiff_t>(written));
    delivered += n;
    written += n;
  }
  return written;
}

// Puts the next samples in `pending` (possibly none, e.g. for a frame the
// resampler keeps entirely in its delay line), or sets `finished`.
void FfmpegAudioFile::Decoder::refill() {
  pending.clear();
  delivered = 0;
  for (;;) {
    int result = avcodec_receive_frame(codec.get(), frame.get());
    if (result == 0) {
      takeFrame();
      return;
    }
    if (result == AVERROR_EOF) {
      drainResampler();
      finished = true;
      return;
    }
    if (result != AVERROR(EAGAIN)) fail(corrupt(result));
    // The decoder wants more data. (EAGAIN after the flush packet would be
    // a decoder bug; it is not looped on.)
    if (flushingDecoder) fail(corrupt(AVERROR_BUG));
    result = av_read_frame(format.get(), packet.get());
    if (result == AVERROR_EOF) {
      flushingDecoder = true;
      result = avcodec_send_packet(codec.get(), nullptr);
      if (result < 0) fail(corrupt(result));
      continue;
    }
    if (result < 0) fail(demuxFailure(result));
    if (packet->stream_index != streamIndex) {
      av_packet_unref(packet.get());
      continue;
    }
    if (const int pause = amrPauseSamples(*packet); pause > 0) {
      av_packet_unref(packet.get());
      takeSilence(pause);
      return;
    }
    result = avcodec_send_packet(codec.get(), packet.get());
    av_packet_unref(packet.get());
    // Every frame the decoder had was received above, so it has room.
    if (result < 0) fail(corrupt(result));
  }
}

void FfmpegAudioFile::Decoder::takeFrame() {
  struct Unref {
    AVFrame* frame;
    ~Unref() { av_frame_unref(frame); }
  } unref{frame.get()};

  const AVFrame& f = *frame;
  if (f.nb_samples <= 0) return;
  if (f.ch_layout.nb_channels <= 0 || f.sample_rate <= 0) fail(corrupt(AVERROR_INVALIDDATA));
  if (f.sample_rate > kMaxSourceRate) fail(implausibleRate(f.sample_rate));
  mono.resize(static_cast<std::size_t>(f.nb_samples));
  if (!mixDownAny(f, mono.data())) fail(corrupt(AVERROR_PATCHWELCOME));
  useRate(f.sample_rate);
  resample(mono.data(), f.nb_samples);
}

int FfmpegAudioFile::Decoder::amrPauseSamples(const AVPacket& p) const {
  const AVCodecID id = codec->codec_id;
  if ((id != AV_CODEC_ID_AMR_NB && id != AV_CODEC_ID_AMR_WB) || p.size < 1) return 0;
  // The frame header: the frame type in bits 6-3. Types 8 (AMR-NB) and 9
  // (AMR-WB) are comfort-noise descriptions, 5 bytes; 14 (AMR-WB: speech
  // lost) and 15 (no data) carry nothing.
  const int type = (p.data[0] >> 3) & 0x0F;
  const int sid = id == AV_CODEC_ID_AMR_NB ? 8 : 9;
  const bool pause = (type == sid && p.size == 1 + 5) || (type >= 14 && p.size == 1);
  if (!pause || codec->sample_rate <= 0) return 0;
  return codec->sample_rate / 50;  // one 20 ms frame
}

void FfmpegAudioFile::Decoder::takeSilence(int count) {
  mono.assign(static_cast<std::size_t>(count), 0.0f);
  useRate(codec->sample_rate);
  resample(mono.data(), count);
}

void FfmpegAudioFile::Decoder::useRate(int rate) {
  if (rate != resamplerRate) {
    // The delay line holds the end of the previous stretch at its own rate:
    // deliver it before switching, or those samples would be lost.
    drainResampler();
    SwrContext* raw = nullptr;
    AVChannelLayout layout;
    av_channel_layout_default(&layout, 1);
    int result = swr_alloc_set_opts2(&raw, &layout, AV_SAMPLE_FMT_FLT, kSampleRate, &layout,
                                     AV_SAMPLE_FMT_FLT, rate, 0, nullptr);
    resampler.reset(raw);
    if (result >= 0) result = swr_init(resampler.get());
    if (result < 0) fail(corrupt(result));
    resamplerRate = rate;
  }
}

// Appends to `pending` what the resampler gives for `count` more samples of
// `input`, or, when `input` is null, everything still in its delay line.
void FfmpegAudioFile::Decoder::resample(const float* input, int count) {
  // An upper bound on the output, so the resampler never has to hold back
  // finished samples for want of room.
  int room = swr_get_out_samples(resampler.get(), count);
  if (room < 0) fail(corrupt(room));
  if (room == 0) {
    if (!input) return;  // nothing left in the delay line
    room = 1;            // input must still go in, if only to be buffered
  }
  const std::size_t start = pending.size();
  pending.resize(start + static_cast<std::size_t>(room));
  auto* target = reinterpret_cast<std::uint8_t*>(pending.data() + start);
  const auto* source = reinterpret_cast<const std::uint8_t*>(input);
  const int made = swr_convert(resampler.get(), &target, room, input ? &source : nullptr, count);
  if (made < 0) fail(corrupt(made));
  pending.resize(start + static_cast<std::size_t>(made));
  // A band-limited resampler overshoots sharp full-scale edges a little.
  for (std::size_t i = start; i < pending.size(); ++i)
    pending[i] = std::clamp(pending[i], -1.0f, 1.0f);
}

void FfmpegAudioFile::Decoder::drainResampler() {
  if (!resampler) return;
  std::size_t before;
  do {
    before = pending.size();
    resample(nullptr, 0);
  } while (pending.size() != before);
  resampler.reset();
  resamplerRate = 0;
}

FfmpegAudioFile::FfmpegAudioFile(std::unique_ptr<Decoder> decoder) : decoder_(std::move(decoder)) {}

FfmpegAudioFile::~FfmpegAudioFile() = default;

std::size_t FfmpegAudioFile::read(std::span<float> out) { return decoder_->read(out); }

int FfmpegAudioFile::sourceSampleRate() const { return decoder_->sourceRate; }

std::optional<CMTime> FfmpegAudioFile::duration() const {
  if (decoder_->statedSamples <= 0) return std::nullopt;
  return CMTime{decoder_->statedSamples, kSampleRate};
}

std::unique_ptr<AudioFile> FfmpegAudioFile::open(const FileURL& url) {
  silenceFfmpeg();
  const std::string& path = url.path();
  requireRegularFile(path);

  auto decoder = std::make_unique<Decoder>();
  decoder->path = path;
  if (!decoder->packet || !decoder->frame) throw failure(path, unreadable(ENOMEM));

  // "file:" makes FFmpeg take the whole string as a local path; without it,
  // a relative path such as "take:2.wav" would be parsed as protocol "take".
  // The whitelist also binds any file the container refers to (playlists,
  // references in QuickTime files), so none of them can reach the network.
  std::unique_ptr<AVDictionary, DictionaryFreer> options;
  {
    AVDictionary* raw = nullptr;
    av_dict_set(&raw, "protocol_whitelist", "file", 0);
    options.reset(raw);
  }
  AVFormatContext* rawFormat = nullptr;
  AVDictionary* rawOptions = options.release();
  int result = avformat_open_input(&rawFormat, ("file:" + path).c_str(), nullptr, &rawOptions);
  options.reset(rawOptions);
  decoder->format.reset(rawFormat);  // on failure FFmpeg has freed it and set it to null
  // No demuxer recognised the contents (the usual case), or the one that
  // did found its header invalid; either way, not audio we know.
  if (result == AVERROR_INVALIDDATA) throw failure(path, "the file is not in a known audio format");
  if (result < 0) throw failure(path, demuxFailure(result));
  AVFormatContext* format = decoder->format.get();

  result = avformat_find_stream_info(format, nullptr);
  if (result < 0) throw failure(path, demuxFailure(result));

  const AVCodec* codecType = nullptr;
  result = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &codecType, 0);
  if (result == AVERROR_STREAM_NOT_FOUND) {
    throw failure(path, format->nb_streams == 0 ? "the file is not in a known audio format"
                                                : "the file holds no audio stream");
  }
  if (result == AVERROR_DECODER_NOT_FOUND) {
    // Name the codec of the stream that would have been chosen.
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    const char* name = index >= 0 ? avcodec_get_name(format->streams[index]->codecpar->codec_id)
                                  : "an unknown codec";
    throw failure(path, std::string("the audio is encoded as ") + name +
                            ", which this program cannot decode");
  }
  if (result < 0) throw failure(path, corrupt(result));
  decoder->streamIndex = result;
  // Let the demuxer skip the other streams' packets rather than hand them
  // over only to be dropped.
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    if (static_cast<int>(i) != decoder->streamIndex) format->streams[i]->discard = AVDISCARD_ALL;
  }

  const AVStream* stream = format->streams[decoder->streamIndex];
  if (stream->codecpar->sample_rate > kMaxSourceRate) {
    throw failure(path, implausibleRate(stream->codecpar->sample_rate));
  }
  decoder->sourceRate = std::max(0, stream->codecpar->sample_rate);
  decoder->statedSamples = statedSamples(*format, *stream);
  decoder->codec.reset(avcodec_alloc_context3(codecType));
  if (!decoder->codec) throw failure(path, unreadable(ENOMEM));
  result = avcodec_parameters_to_context(decoder->codec.get(), stream->codecpar);
  if (result < 0) throw failure(path, corrupt(result));
  // Decoders use it to interpret the skip/discard-padding side data that
  // trims encoder delay and padding (MP3, AAC, Opus), so durations come out
  // as recorded rather than padded.
  decoder->codec->pkt_timebase = stream->time_base;
  result = avcodec_open2(decoder->codec.get(), codecType, nullptr);
  if (result < 0) throw failure(path, corrupt(result));

  return std::unique_ptr<AudioFile>(new FfmpegAudioFile(std::move(decoder)));
}

}  // namespace vorn
