#ifndef VORN_TRANSCRIPTION_TIME_SPAN_PARSER_H_
#define VORN_TRANSCRIPTION_TIME_SPAN_PARSER_H_

#include <optional>
#include <string_view>

namespace vorn {

// Where a run of recognised text lies in the audio, in seconds. Nothing is
// enforced: `end` may lie before `start`, and either may be infinite or not a
// number when the text held extreme values.
struct TimeSpan {
  double start = 0.0;
  double end = 0.0;
};

// Reads a time span from the text of a run's attributes. The engine layer
// hands word times to the transcription as the attributes' printed text, the
// form every engine behind the platform interface can give, so the times
// are parsed back here rather than read from a typed field.
//
// The text is searched left to right for non-overlapping matches of
//   value:\s*(-?\d+),\s*timescale:\s*(\d+)
// (case-sensitive, unanchored, no word boundary, so "xvalue:" matches from
// its "value:"). Fewer than two matches give nothing. The first match is the
// start and the second the duration, each value/timescale seconds; matches
// after the second are ignored. A capture converts to the nearest double
// (ties to even); one too large for a finite double becomes infinity with its
// sign. A capture that cannot be converted takes 0 as a value and 1 as a
// timescale. Unless both timescales are strictly greater than 0 the result is
// nothing; otherwise start = value1/timescale1 and end = start +
// value2/timescale2, in double arithmetic.
//
// \d is the ASCII digits 0-9 and \s the ASCII whitespace (space, tab, line
// feed, vertical tab, form feed, carriage return): the engine writes these
// texts itself, in ASCII, so admitting other digits or spaces would only let
// strange text match.
//
// Pure: no state, no side effects, no exceptions.
std::optional<TimeSpan> parseCMTimeRange(std::string_view from);

}  // namespace vorn

#endif  // VORN_TRANSCRIPTION_TIME_SPAN_PARSER_H_
