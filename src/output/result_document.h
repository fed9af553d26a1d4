#ifndef VORN_OUTPUT_RESULT_DOCUMENT_H_
#define VORN_OUTPUT_RESULT_DOCUMENT_H_

#include <string>
#include <vector>

namespace vorn {

// One timed piece of the transcript.
struct Segment {
  std::string text;    // trimmed, never empty
  double start = 0.0;  // seconds from the start of the audio, in hundredths
  double end = 0.0;
};

// The result document as one line of compact JSON, without a trailing
// newline:
//   {"locale":L,"segments":[{"end":E,"start":S,"text":T},...]}
// Keys are sorted at both levels; segments keep the order of `segments`
// (nothing sorted, merged or dropped); "segments" is [] when there are none.
// `locale` is written as given, neither checked nor normalised.
//
// Strings: every '/' is written as "\/"; '"', '\' and the control characters
// U+0000-U+001F are escaped as JSON requires; everything else is written as
// UTF-8. Bytes that are not well-formed UTF-8 become U+FFFD first, so the
// document is always complete and valid.
//
// Numbers: the shortest text that reads back as the same double.
//
// Throws vorn::Error when a start or end is not a finite number, which JSON
// cannot express; nothing is returned then.
std::string encodeResultDocument(const std::string& locale, const std::vector<Segment>& segments);

}  // namespace vorn

#endif  // VORN_OUTPUT_RESULT_DOCUMENT_H_
