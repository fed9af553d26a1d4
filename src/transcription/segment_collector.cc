#include "transcription/segment_collector.h"

#include <cmath>
#include <string>

#include "text/utf8.h"
#include "transcription/time_span_parser.h"

namespace vorn {

double roundToHundredths(double seconds) { return std::round(seconds * 100.0) / 100.0; }

std::vector<Segment> collectSegments(std::shared_ptr<SpeechTranscriber> transcriber,
                                     std::stop_token stop) {
  ResultsSequence& results = transcriber->results();
  std::vector<Segment> segments;
  while (std::optional<SpeechTranscriberResult> result = results.next(stop)) {
    if (!result->isFinal) continue;
    const AttributedString& text = result->text;
    for (const AttributedString::Run& run : text.runs()) {
      const std::string_view trimmed = trimWhitespaceAndNewlines(text.characters(run));
      if (trimmed.empty()) continue;
      Segment segment;
      segment.text = std::string(trimmed);
      if (const std::optional<TimeSpan> span = parseCMTimeRange(run.attributes.description())) {
        segment.start = roundToHundredths(span->start);
        segment.end = roundToHundredths(span->end);
      }
      segments.push_back(std::move(segment));
    }
  }
  return segments;
}

}  // namespace vorn
