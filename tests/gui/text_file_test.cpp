#include "gui/text_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace vellicor::gui {
namespace {

namespace fs = std::filesystem;

TEST(TextFile, ReplacesWholeOrNotAtAllAndReadsOnlyWhatExistsWithinTheBound) {
  const fs::path dir = fs::temp_directory_path() / "vellicor-text-file-test";
  fs::remove_all(dir);
  fs::create_directories(dir);
  auto entries = [&] { return std::distance(fs::directory_iterator(dir), {}); };
  const std::string file = (dir / "map.mmp").string();
  ASSERT_TRUE(ReplaceFile(file, "old\r\n"));
  ASSERT_TRUE(ReplaceFile(file, std::string(63, 'x') + "\n"));
  EXPECT_EQ(ReadWholeFile(file, 64), std::string(63, 'x') + "\n");
  EXPECT_EQ(entries(), 1);  // no temporary file left beside it
  EXPECT_FALSE(ReadWholeFile(file, 63).has_value());
  EXPECT_FALSE(ReadWholeFile((dir / "none.env").string(), 100).has_value());
  EXPECT_FALSE(ReadWholeFile("", 100).has_value());

  // A target that cannot be replaced (a folder, a folder that does not exist) reports failure,
  // keeps what was there and leaves no temporary file.
  const fs::path folder = dir / "taken";
  fs::create_directories(folder / "inside");
  EXPECT_FALSE(ReplaceFile(folder.string(), "data"));
  EXPECT_TRUE(fs::is_directory(folder / "inside"));
  EXPECT_FALSE(ReplaceFile((dir / "missing/x.env").string(), "data"));
  EXPECT_EQ(entries(), 2);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace vellicor::gui
