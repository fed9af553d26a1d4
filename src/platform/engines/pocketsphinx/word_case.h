#ifndef VORN_PLATFORM_ENGINES_POCKETSPHINX_WORD_CASE_H_
#define VORN_PLATFORM_ENGINES_POCKETSPHINX_WORD_CASE_H_

// How English words are written, as Debian's American English word list
// (package wamerican) records it, for the words the default engine can
// write. The list is read when the tool is built and compiled into it (see
// cmake/word_case_table.py), so nothing is read at run time.

#include <optional>
#include <string_view>
#include <vector>

namespace vorn {

class WordCase {
 public:
  // Indexes the compiled-in tables: some 50,000 words, about a millisecond.
  WordCase();

  // The word as the list always writes it, when the list never writes it in
  // lower case: "london" -> "London", "monday" -> "Monday", "nasa" ->
  // "NASA", "i'm" -> "I'm". Nothing for a word the list also writes in lower
  // case ("will", "may", "john") or does not hold. `lowercaseWord` must be in
  // lower case.
  std::optional<std::string_view> alwaysCapitalizedForm(std::string_view lowercaseWord) const;

  // Whether the list writes `lowercaseWord` (given in lower case) in lower
  // case: an ordinary word, as opposed to a name or a word it does not know.
  bool isLowercaseWord(std::string_view lowercaseWord) const;

 private:
  std::vector<std::string_view> capitalized_;  // sorted by lower-case form
  std::vector<std::string_view> lowercase_;    // sorted
};

}  // namespace vorn

#endif  // VORN_PLATFORM_ENGINES_POCKETSPHINX_WORD_CASE_H_
