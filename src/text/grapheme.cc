#include "text/grapheme.h"

#include <unictype.h>
#include <unigbrk.h>

#include <cstddef>

namespace vorn {

// The cluster tables follow each Unicode release, so GNU libunistring keeps
// them rather than a copy here. Debian 12's libunistring (1.0) decides each
// boundary from the two characters that meet alone; the two rules that need
// more of the text before are applied here: emoji joined by a zero-width
// joiner stay one cluster, and regional indicators pair up into flags.
bool isGraphemeBoundary(std::u32string_view before, std::u32string_view after) {
  if (before.empty() || after.empty()) return true;
  const char32_t last = before.back();
  const char32_t next = after.front();
  if (uc_is_property_regional_indicator(last) && uc_is_property_regional_indicator(next)) {
    std::size_t run = 0;
    for (auto c = before.rbegin(); c != before.rend() && uc_is_property_regional_indicator(*c); ++c) ++run;
    return run % 2 == 0;
  }
  if (last == 0x200D && uc_is_property_extended_pictographic(next)) {
    auto c = before.rbegin() + 1;
    while (c != before.rend() && uc_graphemeclusterbreak_property(*c) == GBP_EXTEND) ++c;
    if (c != before.rend() && uc_is_property_extended_pictographic(*c)) return false;
  }
  return uc_is_grapheme_break(last, next);
}

}  // namespace vorn
