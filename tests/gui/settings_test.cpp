// The user's settings file: what counts as a choice of size, and that writing one keeps the rest.
#include "gui/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
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

std::string ReadText(const std::string& path) {
  return ReadWholeFile(path, 1 << 16).value_or("");
}

TEST(SettingsTest, OnlyASizeTheEditorOffersIsAChoice) {
  SettingsFolder folder;
  const std::string path = SettingsPath();
  ASSERT_EQ(std::filesystem::path(path).parent_path().parent_path(), folder.path());
  EXPECT_EQ(ReadUserScale(), std::nullopt);  // no file
  for (const char* text :
       {"", "editor-scale=", "editor-scale=abc", "editor-scale=130", "editor-scale=1500",
        "editor-scale=-150", "editor-scale= 150", "scale=150", "\x01\x02\xff"}) {
    WriteText(path, text);
    EXPECT_EQ(ReadUserScale(), std::nullopt) << text;
  }
  WriteText(path, "theme=dark\r\neditor-scale=175\r\n");
  EXPECT_EQ(ReadUserScale(), Scale::FromPercent(175));
}

TEST(SettingsTest, AChoiceIsWrittenWholeAndKeepsTheOtherKeys) {
  SettingsFolder folder;
  const std::string path = SettingsPath();
  // The folder is made when there is none.
  ASSERT_TRUE(WriteUserScale(Scale::FromPercent(250)));
  EXPECT_EQ(ReadUserScale(), Scale::FromPercent(250));

  WriteText(path, "theme=dark\neditor-scale=200\nwindow=3,4\n");
  ASSERT_TRUE(WriteUserScale(Scale::FromPercent(125)));
  EXPECT_EQ(ReadUserScale(), Scale::FromPercent(125));
  const std::string text = ReadText(path);
  EXPECT_NE(text.find("theme=dark\n"), std::string::npos) << text;
  EXPECT_NE(text.find("window=3,4\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("editor-scale=200"), std::string::npos) << text;
  // Replaced by a rename: nothing else is left beside it.
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder.path() / "vellicor")) {
    ++files;
    EXPECT_EQ(entry.path().filename(), std::filesystem::path(path).filename());
  }
  EXPECT_EQ(files, 1);

  // Where the file cannot be written (its folder is a file), the choice fails and changes
  // nothing.
  std::filesystem::remove_all(folder.path() / "vellicor");
  WriteText((folder.path() / "vellicor").string(), "not a folder");
  EXPECT_FALSE(WriteUserScale(Scale::FromPercent(300)));
  EXPECT_EQ(ReadUserScale(), std::nullopt);
}

}  // namespace
}  // namespace vellicor::gui
