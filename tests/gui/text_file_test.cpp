#include "gui/text_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace vellicor::gui {
namespace {

namespace fs = std::filesystem;

class TextFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("vellicor-text-file-" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const char* name) const { return (dir_ / name).string(); }
  size_t Entries() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), {}));
  }

  fs::path dir_;
};

TEST_F(TextFile, ReplacesWholeOrNotAtAll) {
  const std::string file = Path("map.mmp");
  ASSERT_TRUE(ReplaceFile(file, "old\r\n"));
  ASSERT_TRUE(ReplaceFile(file, "new\r\n"));
  EXPECT_EQ(ReadWholeFile(file, 100), "new\r\n");
  EXPECT_EQ(Entries(), 1u);  // no temporary file left beside it

  // A target that cannot be replaced (a folder, a folder that does not exist) reports failure,
  // keeps what was there and leaves no temporary file.
  const std::string folder = Path("taken");
  fs::create_directories(fs::path(folder) / "inside");
  EXPECT_FALSE(ReplaceFile(folder, "data"));
  EXPECT_TRUE(fs::is_directory(fs::path(folder) / "inside"));
  EXPECT_FALSE(ReplaceFile(Path("missing/x.env"), "data"));
  EXPECT_EQ(Entries(), 2u);
}

TEST_F(TextFile, ReadsOnlyWhatExistsWithinTheBound) {
  const std::string file = Path("e.env");
  ASSERT_TRUE(ReplaceFile(file, std::string(64, 'x')));
  EXPECT_EQ(ReadWholeFile(file, 64)->size(), 64u);
  EXPECT_FALSE(ReadWholeFile(file, 63).has_value());
  EXPECT_FALSE(ReadWholeFile(Path("none.env"), 100).has_value());
  EXPECT_FALSE(ReadWholeFile("", 100).has_value());
}

}  // namespace
}  // namespace vellicor::gui
