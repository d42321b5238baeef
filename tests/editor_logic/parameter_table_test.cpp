// The parameter table: every index of the record once, named once, and every control of the
// editor's form on a row that means what the control does with it.
#include "parameters/parameter_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>

#include "editor/control_math.h"
#include "editor/menu_tables.h"
#include "engine/tables.h"

namespace vellicor::editor::logic {
namespace {

using param::Encoding;
using param::Row;

TEST(ParameterTable, RowsCoverTheRecordOnceInOrder) {
  int next = 0;
  for (const Row& row : param::kRows) {
    EXPECT_EQ(row.first, next) << row.name;
    EXPECT_GT(row.count, 0) << row.name;
    next = row.first + row.count;
  }
  EXPECT_EQ(next, param::kPatchSize);
}

TEST(ParameterTable, NamesAndSymbolsAreUniqueAndWhole) {
  std::set<std::string> names, symbols;
  for (int i = 0; i < param::kPatchSize; ++i) {
    const param::Text name = param::Name(i);
    // A name that fills the buffer may have been cut short.
    EXPECT_LT(name.size, static_cast<int>(sizeof name.chars) - 1) << i;
    EXPECT_TRUE(names.insert(std::string(name.view())).second) << i << " " << name.view();
    EXPECT_TRUE(symbols.insert(std::string(param::Symbol(i).view())).second) << i;
  }
  EXPECT_EQ(names.count(""), 0u);
}

TEST(ParameterTable, ChoicesReachTheirCountAndDefaultsLieInRange) {
  for (const Row& row : param::kRows) {
    if (row.encoding == Encoding::kChoice) {
      EXPECT_GT(row.choices, 1) << row.name;
      // The last choice offered must be one IntPart(scale v) reaches for some v in 0..1.
      EXPECT_LE(row.choices - 1, IntPart(row.scale)) << row.name;
    } else {
      EXPECT_EQ(row.scale, 0.0f) << row.name;
      EXPECT_EQ(row.choices, 0) << row.name;
    }
    EXPECT_GE(row.default_value, 0.0f) << row.name;
    EXPECT_LE(row.default_value, 1.0f) << row.name;
  }
}

// The thirty-two it always had, and the alias-free oscillators' switch.
TEST(ParameterTable, Vst2NamesTheThirtyThreeItHas) {
  const std::set<int> expected = {1,  2,  4,  5,  6,   11,  12,  13,  21,  41,  42,
                                  44, 45, 47, 48, 51,  55,  61,  62,  63,  64,  65,
                                  67, 68, 72, 76, 120, 121, 122, 123, 124, 125, 129};
  ASSERT_EQ(expected.size(), 33u);
  std::set<int> named;
  for (int i = 0; i < param::kPatchSize; ++i) {
    if (!param::Vst2Name(i).view().empty()) named.insert(i);
  }
  EXPECT_EQ(named, expected);
}

// The panels show LFO 0..4 and envelope 0..7: as many as the table's "shown" rows offer.
const int kLastLfo = param::kLfoCount - 1;
const int kLastEnvelope = param::RowOf(param::kEnvelopeShown)->choices - 1;

TEST(FormBinding, PanelsShowTheLfosAndEnvelopesTheTableOffers) {
  EXPECT_EQ(LfoNumberOf(1.0f), kLastLfo);
  EXPECT_EQ(EnvNumberOf(1.0f), kLastEnvelope);
  EXPECT_EQ(param::RowOf(param::kLfoShown)->choices, param::kLfoCount);
}

// Every index the entry can address whatever the panels show.
template <typename Entry>
std::set<int> Addressed(const Entry& entry) {
  std::set<int> indices;
  for (int lfo = 0; lfo <= kLastLfo; ++lfo) {
    for (int env = 0; env <= kLastEnvelope; ++env) indices.insert(entry.Index(lfo, env));
  }
  return indices;
}

// The row of a setting the sound holds; null (and a failure) for anything else.
const Row* SettingRow(std::string_view image, int index) {
  const Row* row = param::RowOf(index);
  EXPECT_NE(row, nullptr) << image << " " << index;
  if (row == nullptr) return nullptr;
  const bool setting = row->repeat != param::Repeat::kSpare && row->encoding != Encoding::kUnused &&
                       row->encoding != Encoding::kRequest;
  EXPECT_TRUE(setting) << image << " " << index << " " << param::Name(index).view();
  return setting ? row : nullptr;
}

TEST(FormBinding, ControlsSitOnSettingsAndTogglesOnSwitches) {
  for (const ControlSpec& control : ControlTable()) {
    for (int index : Addressed(control)) {
      const Row* row = SettingRow(control.image, index);
      if (row != nullptr && control.kind == ControlKind::kToggle) {
        EXPECT_EQ(row->encoding, Encoding::kSwitch) << control.image << " " << index;
      }
    }
  }
}

// The editor draws and writes the pitch ranges with 15.99; the engine reads them with 15.999,
// which is the row's. Every value the editor writes reads as the same choice either way (the
// openers' test below holds that).
constexpr float kEditorRangeScale = 15.99f;
constexpr float kEngineRangeScale = 15.999f;

TEST(FormBinding, SelectorsReadTheirRowWithItsScale) {
  for (const SelectorSpec& selector : SelectorTable()) {
    for (int index : Addressed(selector)) {
      const Row* row = SettingRow(selector.image, index);
      if (row == nullptr) continue;
      if (row->encoding == Encoding::kSwitch) {
        EXPECT_EQ(selector.k, 1.99f) << selector.image;
      } else if (row->encoding == Encoding::kChoice) {
        const bool range = selector.k == kEditorRangeScale && row->scale == kEngineRangeScale;
        EXPECT_TRUE(selector.k == row->scale || range) << selector.image << " " << selector.k;
      } else {
        ADD_FAILURE() << selector.image << " shows a row that is no choice or switch";
      }
    }
  }
}

TEST(FormBinding, MenusOfferTheRowsChoicesAndWriteThemAsTheRowReadsThem) {
  for (const MenuOpener& opener : MenuOpeners()) {
    const MenuSpec& menu = Menu(opener.menu);
    for (int lfo = 0; lfo <= kLastLfo; ++lfo) {
      const int index = opener.Target(lfo);
      const Row* row = SettingRow(opener.image, index);
      if (row == nullptr) continue;
      ASSERT_EQ(row->encoding, Encoding::kChoice) << opener.image;
      EXPECT_EQ(static_cast<int>(menu.items.size()), row->choices) << opener.image;
      for (int k = 0; k < static_cast<int>(menu.items.size()); ++k) {
        EXPECT_EQ(IntPart(row->scale * ItemValue(menu, k)), k) << opener.image << " item " << k;
      }
    }
  }
}

}  // namespace
}  // namespace vellicor::editor::logic
