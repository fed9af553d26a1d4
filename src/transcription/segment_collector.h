#ifndef VORN_TRANSCRIPTION_SEGMENT_COLLECTOR_H_
#define VORN_TRANSCRIPTION_SEGMENT_COLLECTOR_H_

#include <memory>
#include <stop_token>
#include <vector>

#include "output/result_document.h"
#include "platform/speech_engine.h"

namespace vorn {

// Drains `transcriber`'s results until they end and returns one Segment for
// every run of every final result whose text is not blank, in delivery order
// and, within a result, in run order. Results that are not final are skipped
// unread.
//
// A segment's text is the run's characters trimmed of whitespace and newlines
// (see trimWhitespaceAndNewlines); its start and end come from
// parseCMTimeRange on the run's attribute description, each rounded to
// hundredths on its own (halves away from zero, in double precision), or are
// both 0 when that finds no span. Values are neither ordered nor clamped.
//
// Throws the results sequence's error, unchanged, and then returns no list.
// Makes no cancellation check of its own: `stop` is handed to the sequence,
// which ends the reading promptly once it is requested.
//
// Meant to run on a thread of its own while the analyzer feeds the audio; it
// shares only the transcriber.
std::vector<Segment> collectSegments(std::shared_ptr<SpeechTranscriber> transcriber,
                                     std::stop_token stop = {});

// `seconds` rounded to hundredths: x * 100, to the nearest whole number with
// halves away from zero, / 100, all in double precision.
double roundToHundredths(double seconds);

}  // namespace vorn

#endif  // VORN_TRANSCRIPTION_SEGMENT_COLLECTOR_H_
