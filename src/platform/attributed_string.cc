#include "platform/attributed_string.h"

namespace vorn {

namespace {

std::string describe(const CMTime& time) {
  return "{value: " + std::to_string(time.value) +
         ", timescale: " + std::to_string(time.timescale) + "}";
}

}  // namespace

std::string AttributeContainer::description() const {
  if (!audioTimeRange) return "{}";
  return "{audioTimeRange: CMTimeRange(start: " + describe(audioTimeRange->start) +
         ", duration: " + describe(audioTimeRange->duration) + ")}";
}

void AttributedString::append(std::string_view text, AttributeContainer attributes) {
  Run run;
  run.begin = characters_.size();
  characters_.append(text);
  run.end = characters_.size();
  run.attributes = std::move(attributes);
  runs_.push_back(std::move(run));
}

}  // namespace vorn
