#ifndef VORN_PLATFORM_ATTRIBUTED_STRING_H_
#define VORN_PLATFORM_ATTRIBUTED_STRING_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cm_time.h"

namespace vorn {

// The attributes that one run of a result's text carries.
struct AttributeContainer {
  std::optional<CMTimeRange> audioTimeRange;

  // The attributes as text. An audio time range is written as two
  // "value: N, timescale: M" pairs, the start first and the duration second,
  // with no other pair ahead of them; readers rely on nothing else of it.
  std::string description() const;
};

// A text whose runs, stretches of characters sharing one set of attributes,
// follow one another and together cover it.
class AttributedString {
 public:
  struct Run {
    std::size_t begin = 0;  // byte offsets into characters(), [begin, end)
    std::size_t end = 0;
    AttributeContainer attributes;
  };

  // The text, UTF-8.
  const std::string& characters() const noexcept { return characters_; }
  const std::vector<Run>& runs() const noexcept { return runs_; }

  // The characters of `run`.
  std::string_view characters(const Run& run) const {
    return std::string_view(characters_).substr(run.begin, run.end - run.begin);
  }

  // Adds `text` at the end as one run with `attributes`.
  void append(std::string_view text, AttributeContainer attributes);

 private:
  std::string characters_;
  std::vector<Run> runs_;
};

}  // namespace vorn

#endif  // VORN_PLATFORM_ATTRIBUTED_STRING_H_
