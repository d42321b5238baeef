// The user's settings file: what counts as a choice of size, and that writing one keeps the rest.
#include "gui/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "gui/text_file.h"
#include "tests/settings_folder.h"

namespace vellicor::gui {
namespace {

using vellicor::testing::SettingsFolder;

void WriteText(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// Only a size the editor offers counts as a choice; a choice is written whole (renamed over the
// old file, nothing left beside it), keeps the other keys, and fails where nothing can be written.
TEST(SettingsTest, ReadsOnlyOfferedSizesAndWritesAChoiceWholeKeepingTheRest) {
  SettingsFolder folder;
  const std::string path = SettingsPath();
  ASSERT_EQ(std::filesystem::path(path).parent_path().parent_path(), folder.path());
  EXPECT_EQ(ReadUserScale(), std::nullopt);  // no file
  for (const char* text : {"", "editor-scale=", "editor-scale=abc", "editor-scale=130",
                           "editor-scale=1500", "editor-scale= 150", "scale=150"}) {
    WriteText(path, text);
    EXPECT_EQ(ReadUserScale(), std::nullopt) << text;
  }
  WriteText(path, "theme=dark\r\neditor-scale=200\r\nwindow=3,4\n");
  EXPECT_EQ(ReadUserScale(), Scale::FromPercent(200));
  ASSERT_TRUE(WriteUserScale(Scale::FromPercent(125)));
  EXPECT_EQ(ReadUserScale(), Scale::FromPercent(125));
  EXPECT_EQ(ReadWholeFile(path, 1 << 16), "theme=dark\nwindow=3,4\neditor-scale=125\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path() / "vellicor"), {}), 1);

  std::filesystem::remove_all(folder.path() / "vellicor");
  ASSERT_TRUE(WriteUserScale(Scale::FromPercent(250)));  // the folder is made
  EXPECT_EQ(ReadUserScale(), Scale::FromPercent(250));
  std::filesystem::remove_all(folder.path() / "vellicor");
  WriteText((folder.path() / "vellicor").string(), "a file where the folder goes");
  EXPECT_FALSE(WriteUserScale(Scale::FromPercent(300)));
}

}  // namespace
}  // namespace vellicor::gui
