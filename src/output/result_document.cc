#include "output/result_document.h"

#include <charconv>
#include <cmath>
#include <string_view>

#include "platform/error.h"
#include "text/utf8.h"

namespace vorn {

// The JSON is written by hand: the document has a fixed two-level shape, and
// the common C++ JSON libraries cannot be told to escape '/', which the
// document's readers expect.

namespace {

void appendString(std::string& out, std::string_view raw) {
  static constexpr char kHex[] = "0123456789abcdef";
  const std::string text = makeValidUtf8(raw);
  out += '"';
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '/': out += "\\/"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          out += "\\u00";
          out += kHex[(c >> 4) & 0xF];
          out += kHex[c & 0xF];
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

void appendNumber(std::string& out, const char* name, double value) {
  if (!std::isfinite(value)) {
    throw Error(std::string("the result document cannot be written: a segment's \"") + name +
                "\" is " + (std::isnan(value) ? "not a number" : "infinite") +
                ", which JSON cannot express");
  }
  // Shortest round-trip form; never an exponent-less overflow, never locale
  // dependent. It is always a valid JSON number ("1e+20", "-0", "2.25").
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

}  // namespace

std::string encodeResultDocument(const std::string& locale, const std::vector<Segment>& segments) {
  std::string out = "{\"locale\":";
  appendString(out, locale);
  out += ",\"segments\":[";
  bool first = true;
  for (const Segment& segment : segments) {
    if (!first) out += ',';
    first = false;
    out += "{\"end\":";
    appendNumber(out, "end", segment.end);
    out += ",\"start\":";
    appendNumber(out, "start", segment.start);
    out += ",\"text\":";
    appendString(out, segment.text);
    out += '}';
  }
  out += "]}";
  return out;
}

}  // namespace vorn
