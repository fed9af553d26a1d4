#include "platform/engines/setup/model_folders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace vorn {
namespace {

using Kind = ModelEntry::Kind;

// A model of a folder "am" and a file "lm": the first folder holding both,
// as their kinds, wins; a partial or mistyped copy is passed over.
TEST(ModelFoldersTest, FindsTheFirstFolderHoldingTheWholeModel) {
  testing::TempDir partial, mistyped, whole, later;
  std::filesystem::create_directories(partial.path() + "/m/am");  // no lm
  std::filesystem::create_directories(mistyped.path() + "/m");
  mistyped.write("m/am", "a file where a folder belongs");
  mistyped.write("m/lm", "");
  for (testing::TempDir* folder : {&whole, &later}) {
    std::filesystem::create_directories(folder->path() + "/m/am");
    folder->write("m/lm", "");
  }
  const std::vector<ModelEntry> model{{"m/am", Kind::kFolder}, {"m/lm", Kind::kFile}};

  EXPECT_EQ(findInModelFolders({partial.path(), mistyped.path(), whole.path(), later.path()}, model),
            std::filesystem::path(whole.path()));
  EXPECT_EQ(findInModelFolders({partial.path(), mistyped.path(), "/nonexistent"}, model), std::nullopt);
  EXPECT_EQ(findInModelFolders({}, model), std::nullopt);
}

TEST(ModelFoldersTest, ListsWantedNamesByFolderThenName) {
  testing::TempDir first, second;
  first.write("b.bin", "");
  first.write("a.bin", "");
  first.write("a.txt", "");
  std::filesystem::create_directories(second.path() + "/c.bin");  // listed: any type
  const std::vector<ModelFolderEntry> found = listModelFolders(
      {first.path(), "/nonexistent", second.path()},
      [](std::string_view name) { return name.ends_with(".bin"); });

  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].path, std::filesystem::path(first.path()) / "a.bin");
  EXPECT_EQ(found[1].path, std::filesystem::path(first.path()) / "b.bin");
  EXPECT_EQ(found[2].path, std::filesystem::path(second.path()) / "c.bin");
  EXPECT_EQ(found[0].folderIndex, 0);
  EXPECT_EQ(found[2].folderIndex, 2);
}

}  // namespace
}  // namespace vorn
