// Selection menus: choices read back as themselves wherever the value is read; names, openers.
#include "editor/menu_tables.h"

#include <gtest/gtest.h>

#include <string>

#include "editor/control_math.h"
#include "engine/tables.h"

namespace vellicor::editor::logic {
namespace {

// How the engine reads the parameter a menu writes, where that differs from the selector.
int EngineReading(const MenuSpec& menu, float v) {
  switch (menu.id) {
    case MenuId::kFilters:
      return Choice(v, 12.99f, 12);
    case MenuId::kLfoSelMenu:
      return LfoSelector(v);
    case MenuId::kBend: {  // pitch ranges are read with 15.999 into semitones
      const float semitones = SemitonesOf(v);
      for (int k = 0; k < 16; ++k) {
        const int named = k == 0 ? 0 : std::stoi(std::string(kSemitoneRangeNames[k]));
        if (semitones == static_cast<float>(named)) return k;
      }
      return -1;
    }
    default:
      return Choice(v, ChoiceScale(menu.encoding), 49);
  }
}

TEST(Menus, EveryItemReadsBackAsItsNumberAndShowsItsLabel) {
  for (const MenuSpec& menu : MenuTable()) {
    for (int k = 0; k < static_cast<int>(menu.items.size()); ++k) {
      const float v = ItemValue(menu, k);
      EXPECT_GT(v, 0.0f);
      EXPECT_LT(v, 1.0f);
      EXPECT_EQ(DecodeChoice(menu.encoding, v), k) << menu.name << " " << k;
      EXPECT_EQ(EngineReading(menu, v), k) << menu.name << " " << k;
    }
  }
  // The wave scale written out, not taken from ChoiceScale as EngineReading takes it.
  for (int k = 0; k < 14; ++k) EXPECT_EQ(IntPart(49.99f * ItemValue(Menu(MenuId::kWave), k)), k);

  for (const MenuOpener& opener : MenuOpeners()) {
    const SelectorSpec* selector = FindSelector(opener.image);
    ASSERT_NE(selector, nullptr) << opener.image;
    const MenuSpec& menu = Menu(opener.menu);
    const auto labels = LabelStrip(selector->image_list);
    EXPECT_GE(labels.size(), menu.items.size()) << opener.image;
    for (int lfo = 0; lfo < 5; ++lfo) {
      EXPECT_EQ(selector->Index(lfo, 0), opener.Target(lfo)) << opener.image;
    }
    for (int k = 0; k < static_cast<int>(menu.items.size()); ++k) {
      EXPECT_EQ(SelectorFrame(selector->k, ItemValue(menu, k)), k) << opener.image << " " << k;
    }
  }
  EXPECT_EQ(LabelStrip("IBend")[12], "1 OCT");
  EXPECT_EQ(LabelStrip("Ifilter")[10], "T.RING");
  EXPECT_EQ(LabelStrip("Iosc")[4], "SQURE");
}

TEST(Menus, ItemNamesAndTexts) {
  for (const MenuSpec& menu : MenuTable()) {
    for (int k = 0; k < static_cast<int>(menu.items.size()); ++k) {
      EXPECT_EQ(ItemNumber(menu, menu.items[k].name), k) << menu.name;
      EXPECT_EQ(ItemNumber(menu, UpperCase(menu.items[k].name)), k) << menu.name;
    }
  }
  const MenuSpec& wave = Menu(MenuId::kWave);
  EXPECT_EQ(ItemNumber(wave, "W14"), -1);
  EXPECT_EQ(ItemNumber(wave, "W1"), -1);
  EXPECT_EQ(ItemNumber(Menu(MenuId::kFilters), "F01"), -1);
  EXPECT_EQ(ItemNumber(Menu(MenuId::kFmWave), "FI01"), -1);
  // The menus' texts and the names the read-outs use are two tables that must agree.
  for (int k = 0; k < 14; ++k) EXPECT_EQ(wave.items[k].text, kWaveNames[k]);
  for (int k = 0; k < 12; ++k) EXPECT_EQ(Menu(MenuId::kFilters).items[k].text, kFilterNames[k]);
  for (int k = 0; k < 16; ++k) EXPECT_EQ(Menu(MenuId::kBend).items[k].text, kSemitoneRangeNames[k]);
}

TEST(Menus, OpenersTargetsAndShift) {
  ASSERT_NE(FindMenuOpener("MNFILTER1LFO"), nullptr);
  EXPECT_EQ(FindMenuOpener("MNFILTER1LFO")->Target(0), 132);
  EXPECT_EQ(FindMenuOpener("HVOLUME"), nullptr);
  // Every opener's image, menu, target, release and whether Shift opens nothing (only the wave,
  // FM wave, filter and range menus), folded into a hash recorded from the reviewed table (the
  // editor's menu tests click through every opener the table names).
  std::string openers;
  for (const MenuOpener& o : MenuOpeners()) {
    openers += std::string(o.image) + " " + std::string(Menu(o.menu).name) + " " +
               std::to_string(o.Target(0)) + (o.plus_lfo_number ? "+lfo " : " ") +
               std::to_string(static_cast<int>(o.slot)) + " " +
               std::to_string(static_cast<int>(o.release)) +
               (o.shift_opens_nothing ? " no-shift\n" : "\n");
  }
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char ch : openers) hash = (hash ^ ch) * 1099511628211ull;
  EXPECT_EQ(hash, 0xf417c6cd3109c878ull) << std::hex << hash << "\n" << openers;
  // The encodings as stored values, one choice each.
  EXPECT_FLOAT_EQ(EncodeChoice(ChoiceEncoding::kWave, 2), 2 / 49.99 + 0.001);
  EXPECT_FLOAT_EQ(EncodeChoice(ChoiceEncoding::kFilter, 5), 5 / 12.99 + 0.05);
  EXPECT_FLOAT_EQ(EncodeChoice(ChoiceEncoding::kCentred1099, 5), 5.5 / 10.99);
  EXPECT_FLOAT_EQ(EncodeChoice(ChoiceEncoding::kCentred1599, 12), 12.5 / 15.99);
  EXPECT_FLOAT_EQ(EncodeChoice(ChoiceEncoding::kCentred399, 2), 2.5 / 3.99);
}

}  // namespace
}  // namespace vellicor::editor::logic
