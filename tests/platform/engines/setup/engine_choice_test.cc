#include "platform/engines/setup/engine_choice.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace vorn {
namespace {

using ::testing::HasSubstr;
using Engine = EngineChoice::Engine;

// A model as the folder scan would report it. Sizes follow the published
// models: tiny 384 wide with 4 + 4 layers, base 512 with 6 + 6, small 768
// with 12 + 12, large 1280 with 32 + 32, its turbo 32 + 4.
InstalledWhisperModel model(std::string name, int state, int layers, bool english,
                            int directory = 0, int weightType = 1 /* f16 */, int textLayers = -1) {
  WhisperModelInfo info;
  info.path = name;
  info.vocabularySize = english ? 51864 : 51865;
  info.state = state;
  info.audioLayers = layers;
  info.textLayers = textLayers < 0 ? layers : textLayers;
  info.mels = 80;
  info.weightType = weightType;
  return {name, directory, info, std::nullopt};
}

const InstalledWhisperModel kTinyEn = model("ggml-tiny.en.bin", 384, 4, true);
const InstalledWhisperModel kBase = model("ggml-base.bin", 512, 6, false);
const InstalledWhisperModel kBaseEn = model("ggml-base.en.bin", 512, 6, true);
const InstalledWhisperModel kBaseEnQ8 = model("ggml-base.en-q8_0.bin", 512, 6, true, 0, 8);
const InstalledWhisperModel kSmall = model("ggml-small.bin", 768, 12, false);
const InstalledWhisperModel kTurbo = model("ggml-large-v3-turbo.bin", 1280, 32, false, 0, 1, 4);
const InstalledWhisperModel kLarge = model("ggml-large-v3.bin", 1280, 32, false);

struct ChoiceCase {
  std::string name;
  std::string locale;
  std::vector<InstalledWhisperModel> models;
  Engine engine;
  std::string model;     // the chosen whisper model's file, with kWhisper
  std::string language;  // what whisper is told
};

class ChooseEngineTest : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(ChooseEngineTest, PicksTheMostCapableModelThatServesTheLanguage) {
  const ChoiceCase& c = GetParam();
  const EngineChoice choice = chooseEngine(c.locale, c.models);
  EXPECT_EQ(choice.engine, c.engine) << choice.problem;
  if (c.engine == Engine::kWhisper) {
    ASSERT_TRUE(choice.whisperModel);
    EXPECT_EQ(choice.whisperModel->path.string(), c.model);
    EXPECT_EQ(choice.language, c.language);
  }
  if (c.engine == Engine::kNone) {
    EXPECT_THAT(choice.problem, HasSubstr("\"" + c.locale + "\""));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ChooseEngineTest,
    ::testing::Values(
        ChoiceCase{"EnglishWithNoModelIsPocketsphinx", "en-US", {}, Engine::kPocketsphinx, "", ""},
        ChoiceCase{"OtherLanguageWithNoModelIsNothing", "fr-CA", {}, Engine::kNone, "", ""},
        ChoiceCase{"EnglishOnlyModelDoesNotServeFrench", "fr-CA", {kTinyEn, kBaseEn}, Engine::kNone,
                   "", ""},
        ChoiceCase{"EnglishOnlyModelServesEnglish", "en_GB", {kTinyEn}, Engine::kWhisper,
                   "ggml-tiny.en.bin", "en"},
        ChoiceCase{"MultilingualServesFrench", "fr-CA", {kTinyEn, kBase}, Engine::kWhisper,
                   "ggml-base.bin", "fr"},
        ChoiceCase{"ScriptAndRegionAreIgnored", "zh-Hans-TW", {kBase}, Engine::kWhisper,
                   "ggml-base.bin", "zh"},
        ChoiceCase{"LanguageCaseIsIgnored", "DE_at", {kBase}, Engine::kWhisper, "ggml-base.bin",
                   "de"},
        ChoiceCase{"WiderBeatsNarrower", "en-US", {kTinyEn, kSmall, kBaseEn}, Engine::kWhisper,
                   "ggml-small.bin", "en"},
        ChoiceCase{"EnglishOnlyBeatsMultilingualOfItsSizeForEnglish", "en", {kBase, kBaseEn},
                   Engine::kWhisper, "ggml-base.en.bin", "en"},
        ChoiceCase{"MoreBitsPerWeightWin", "en", {kBaseEnQ8, kBaseEn}, Engine::kWhisper,
                   "ggml-base.en.bin", "en"},
        ChoiceCase{"DeeperDecoderWins", "es", {kTurbo, kLarge}, Engine::kWhisper,
                   "ggml-large-v3.bin", "es"},
        ChoiceCase{"LanguageWhisperDoesNotKnowIsNothing", "xx-YY", {kBase}, Engine::kNone, "", ""},
        ChoiceCase{"MalformedLocaleIsNothing", "f", {kBase}, Engine::kNone, "", ""},
        ChoiceCase{"FullLanguageNameIsNotACode", "english", {kBase}, Engine::kNone, "", ""}),
    testing::CaseName());

TEST(ChooseEngineTest, TiesGoToTheFirstFolderThenTheName) {
  const InstalledWhisperModel besideTool = model("a/ggml-base.en.bin", 512, 6, true, 0);
  const InstalledWhisperModel shared = model("b/ggml-base.en.bin", 512, 6, true, 1);
  EXPECT_EQ(chooseEngine("en", {besideTool, shared}).whisperModel->path, "a/ggml-base.en.bin");
}

TEST(ChooseEngineTest, AModelThatCannotBeUsedIsAnErrorNotAFallback) {
  InstalledWhisperModel broken = kSmall;
  broken.problem = "the whisper model ggml-small.bin cannot be used: it is truncated";
  InstalledWhisperModel unreadable{"ggml-x.bin", 0, std::nullopt, "the whisper model ggml-x.bin is empty"};

  // The broken model would win: its problem is reported.
  EXPECT_EQ(chooseEngine("en", {kBaseEn, broken}).problem, *broken.problem);
  // It would not serve: the working one is used.
  InstalledWhisperModel brokenEnglish = model("ggml-small.en.bin", 768, 12, true);
  brokenEnglish.problem = "damaged";
  EXPECT_EQ(chooseEngine("fr", {kBase, brokenEnglish}).engine, Engine::kWhisper);
  // Nobody can tell what an unreadable one serves.
  const EngineChoice choice = chooseEngine("en", {kBaseEn, unreadable});
  EXPECT_EQ(choice.engine, Engine::kNone);
  EXPECT_EQ(choice.problem, *unreadable.problem);
}

TEST(LanguageSubtagTest, TakesTheLetterSubtagBeforeTheFirstSeparator) {
  const std::pair<std::string, std::string> cases[] = {
      {"en-US", "en"}, {"EN_gb", "en"}, {"yue-HK", "yue"}, {"fr", "fr"},
      {"", ""},        {"e", ""},       {"engl-US", ""},   {"e1-US", ""}, {"-US", ""},
  };
  for (const auto& [locale, subtag] : cases) EXPECT_EQ(languageSubtag(locale), subtag) << locale;
}

TEST(FindWhisperModelsTest, ListsModelFilesByFolderThenName) {
  testing::TempDir first, second;
  first.write("ggml-b.bin", "x");
  first.write("ggml-a.bin", "x");
  first.write("notes.txt", "x");
  first.write("ggml-.bin", "x");  // no name between the parts
  second.write("ggml-a.bin", "x");

  const std::vector<InstalledWhisperModel> models =
      findWhisperModels({first.path(), first.path() + "/missing", second.path()});

  ASSERT_EQ(models.size(), 3u);
  EXPECT_EQ(models[0].path.filename(), "ggml-a.bin");
  EXPECT_EQ(models[1].path.filename(), "ggml-b.bin");
  EXPECT_EQ(models[2].directoryIndex, 2);
  for (const InstalledWhisperModel& m : models) {
    EXPECT_FALSE(m.info);
    EXPECT_THAT(m.problem.value_or(""), HasSubstr("not a whisper model"));
  }
}

}  // namespace
}  // namespace vorn
