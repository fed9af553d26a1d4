#include "platform/engines/pocketsphinx/telephone_channel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/engines/setup/model_folders.h"
#include "platform/engines/pocketsphinx/pocketsphinx_recognizer.h"
#include "platform/error.h"
#include "support/test_support.h"

namespace vorn {
namespace {

using ::testing::HasSubstr;

TEST(TelephoneChannelTest, AudioStoredAtTelephoneRatesOrMeasuredNarrowbandIsTelephoneAudio) {
  const struct {
    int rate;
    bool telephone;
  } cases[] = {
      {0, false},  // unknown: the model as installed
      {4000, true},   {6000, true},    {8000, true},
      {8001, false},  {11025, false},  {16000, false}, {44100, false}, {48000, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(isTelephoneAudio({.sourceSampleRate = c.rate}), c.telephone) << c.rate << " Hz";
    // Speech measured to hold nothing above the telephone band is telephone
    // audio at any rate.
    EXPECT_TRUE(isTelephoneAudio({.sourceSampleRate = c.rate, .narrowbandSpeech = true}))
        << c.rate << " Hz";
  }
}

// The choice of model, seen in what is recognised: wideband audio gets
// exactly the model as installed (so its results are what they always
// were), telephone audio the model with the shipped transform.
TEST(TelephoneChannelTest, OnlyTelephoneAudioIsDecodedWithTheTransform) {
  const std::vector<float> speech =
      testing::readAllSamples("/usr/share/pocketsphinx/test/data/librivox/sense_and_sensibility_01_austen_64kb-0870.wav");
  const std::vector<RecognizedWord> installed = PocketsphinxRecognizer().recognize(speech);
  // The build puts the shipped transform in models/ beside the test binary.
  const std::string transform = telephoneTransformPath(modelFolders());
  ASSERT_FALSE(transform.empty());
  const std::vector<RecognizedWord> adapted =
      PocketsphinxRecognizer(PocketsphinxRecognizer::kModelDirectory, nullptr, transform)
          .recognize(speech);
  ASSERT_NE(installed, adapted) << "the transform changes nothing: the test would prove nothing";

  const RecognizerFactory factory =
      PocketsphinxRecognizer::factory(PocketsphinxRecognizer::kModelDirectory, transform);
  for (const int rate : {0, 16000, 44100}) {
    EXPECT_EQ(factory({.sourceSampleRate = rate})->recognize(speech), installed) << rate << " Hz";
  }
  EXPECT_EQ(factory({.sourceSampleRate = 8000})->recognize(speech), adapted);
}

TEST(TelephoneChannelTest, TheTransformIsFoundInTheFirstModelFolderHoldingIt) {
  testing::TempDir empty, first, second;
  std::filesystem::create_directories(first.path() + "/telephone");
  std::filesystem::create_directories(second.path() + "/telephone");
  first.write("telephone/mllr_matrix", "1");
  second.write("telephone/mllr_matrix", "2");
  EXPECT_EQ(telephoneTransformPath({empty.path(), first.path(), second.path()}),
            first.path() + "/telephone/mllr_matrix");
  EXPECT_EQ(telephoneTransformPath({empty.path()}), "");
}

TEST(TelephoneChannelTest, TelephoneAudioWithoutTheTransformIsAnError) {
  const RecognizerFactory factory = PocketsphinxRecognizer::factory();
  try {
    factory({.sourceSampleRate = 8000});
    ADD_FAILURE() << "no error";
  } catch (const Error& error) {
    EXPECT_THAT(error.localizedDescription(), HasSubstr("telephone/mllr_matrix"));
  }
}

TEST(TelephoneChannelTest, AMissingTransformIsAnErrorNamingIt) {
  try {
    PocketsphinxRecognizer recognizer(PocketsphinxRecognizer::kModelDirectory, nullptr,
                                      "/nonexistent/mllr_matrix");
    ADD_FAILURE() << "no error";
  } catch (const Error& error) {
    EXPECT_THAT(error.localizedDescription(), HasSubstr("/nonexistent/mllr_matrix"));
  }
}

}  // namespace
}  // namespace vorn
