#include "platform/engines/pocketsphinx/word_case.h"

#include <algorithm>

#include "text/ascii.h"

namespace vorn {
namespace word_case_table {
// Generated at build time: the words, each ended by '\n', sorted by their
// lower-case form.
extern const char kCapitalized[];
extern const char kLowercase[];
}  // namespace word_case_table

namespace {

std::vector<std::string_view> splitLines(std::string_view table) {
  std::vector<std::string_view> words;
  while (!table.empty()) {
    const std::size_t end = table.find('\n');
    words.push_back(table.substr(0, end));
    table.remove_prefix(end == std::string_view::npos ? table.size() : end + 1);
  }
  return words;
}

bool lessIgnoringCase(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return toAsciiLower(x) < toAsciiLower(y); });
}

bool equalIgnoringCase(std::string_view written, std::string_view lowercase) {
  return std::equal(written.begin(), written.end(), lowercase.begin(), lowercase.end(),
                    [](char x, char y) { return toAsciiLower(x) == y; });
}

}  // namespace

WordCase::WordCase()
    : capitalized_(splitLines(word_case_table::kCapitalized)),
      lowercase_(splitLines(word_case_table::kLowercase)) {}

std::optional<std::string_view> WordCase::alwaysCapitalizedForm(
    std::string_view lowercaseWord) const {
  const auto found =
      std::lower_bound(capitalized_.begin(), capitalized_.end(), lowercaseWord, lessIgnoringCase);
  if (found == capitalized_.end() || !equalIgnoringCase(*found, lowercaseWord)) return std::nullopt;
  return *found;
}

bool WordCase::isLowercaseWord(std::string_view lowercaseWord) const {
  return std::binary_search(lowercase_.begin(), lowercase_.end(), lowercaseWord);
}

}  // namespace vorn
