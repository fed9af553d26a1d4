#include "platform/engines/pocketsphinx/language_model_dictionary.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/error.h"
#include "support/test_support.h"

namespace vorn {
namespace {

using testing::TempDir;

// A unigram model knowing "hello" and "read" (and the sentence markers).
constexpr const char* kArpa =
    "\\data\\\n"
    "ngram 1=4\n"
    "\n"
    "\\1-grams:\n"
    "-1.0 </s>\n"
    "-99 <s>\n"
    "-0.6 hello\n"
    "-0.6 read\n"
    "\n"
    "\\end\\\n";

std::string contents(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(LanguageModelDictionaryTest, KeepsTheEntriesOfTheModelsWordsWithTheirVariantsInOrder) {
  TempDir dir;
  const std::string lm = dir.write("tiny.lm", kArpa);
  const std::string dict = dir.write("tiny.dict",
                                     "hello HH AH L OW\n"
                                     "hellos HH AH L OW Z\n"
                                     "read R EH D\n"
                                     "read(2) R IY D\n"
                                     "world W ER L D\n");
  const auto cut = LanguageModelDictionary::make(lm, dict);
  EXPECT_EQ(contents(cut->path()),
            "hello HH AH L OW\n"
            "read R EH D\n"
            "read(2) R IY D\n");
}

TEST(LanguageModelDictionaryTest, UnreadableFilesAreErrors) {
  TempDir dir;
  const std::string lm = dir.write("tiny.lm", kArpa);
  const std::string dict = dir.write("tiny.dict", "hello HH AH L OW\n");
  EXPECT_THROW(LanguageModelDictionary::make(dir.write("bad.lm", "not a model"), dict), Error);
  EXPECT_THROW(LanguageModelDictionary::make(lm, dir.path() + "/missing.dict"), Error);
}

}  // namespace
}  // namespace vorn
