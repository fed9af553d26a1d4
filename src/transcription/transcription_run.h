#ifndef VORN_TRANSCRIPTION_TRANSCRIPTION_RUN_H_
#define VORN_TRANSCRIPTION_TRANSCRIPTION_RUN_H_

#include <string>

#include "platform/file_url.h"
#include "platform/speech_engine.h"
#include "transcription/progress_meter.h"

namespace vorn {

// Transcribes the audio file at `audioURL` in `locale` on `platform`'s speech
// engine and returns the result document's text (no trailing newline).
//
// In order: makes a transcriber for the locale (attribute option
// audioTimeRange only) and an analyzer driving it; opens the file; starts
// collectSegments on a thread of its own; feeds the whole file through the
// analyzer; finalises through the last-sample time when one came back;
// waits for the collector; encodes the document with `locale` exactly as
// given.
//
// Throws exactly one vorn::Error, unchanged, and makes no document, when a
// step fails: the opening error (the collector is never started); the
// analysis or finalisation error (the collector is cancelled and awaited,
// and whatever it gathered or threw is dropped); the collector's error
// (after analysis and finalisation have run to their end); or the writer's.
// On every path the collector has ended before this returns or throws.
//
// With `progress`: once the file is open, starts it with the file's stated
// duration; advances it, on this thread, as the analyzer reports; finishes
// it once the document is made, before returning. A failing run leaves it
// unfinished.
//
// Blocks for the whole transcription: call it off the main thread. Reads no
// global state.
std::string runTranscription(const FileURL& audioURL, const std::string& locale,
                             SpeechPlatform& platform, ProgressMeter* progress = nullptr);

}  // namespace vorn

#endif  // VORN_TRANSCRIPTION_TRANSCRIPTION_RUN_H_
