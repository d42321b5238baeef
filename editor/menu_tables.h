// The selection menus as data: which selector image opens which menu and where the choice is
// written, the items with their drawn texts and sizing captions, how a choice is encoded into
// a parameter value, the owner-draw look shared by all editor menus, and the label texts of
// the selector image lists.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vellicor::editor::logic {

enum class MenuId {
  kWave,
  kFmWave,
  kFilters,
  kLfoMenu,
  kLfoSelMenu,
  kBend,
  kModeMenu,
  kArpModeMenu,
  kArpOctMenu,
};

// How choice k becomes a parameter value, and the scale K that reads it back as IntPart(K v).
enum class ChoiceEncoding {
  kWave,         // k / 49.99 + 0.001, read with 49.99
  kFilter,       // k / 12.99 + 0.05, read with 12.99
  kCentred1099,  // (k + 0.5) / 10.99
  kCentred1599,  // (k + 0.5) / 15.99
  kCentred399,   // (k + 0.5) / 3.99
};
float EncodeChoice(ChoiceEncoding encoding, int k);
float ChoiceScale(ChoiceEncoding encoding);
int DecodeChoice(ChoiceEncoding encoding, float v);  // IntPart(K v), not bounded

struct MenuItemSpec {
  std::string_view name;     // component name, e.g. "W00", "SLFNONE", "Amode2"
  std::string_view text;     // what is drawn (after a leading blank)
  std::string_view caption;  // design caption: never drawn, but what sizes the item
};

// How an item's name gives its number k.
enum class ItemNaming {
  kTwoDigits,  // two decimal digits after `prefix` ("W", "F", "FI")
  kWholeName,  // the upper-cased name compared with each item's
};

struct MenuSpec {
  MenuId id;
  std::string_view name;  // component name of the menu, e.g. "Wave"
  std::span<const MenuItemSpec> items;
  ChoiceEncoding encoding;
  ItemNaming naming;
  std::string_view prefix;  // upper-case letter prefix for kTwoDigits
};

std::span<const MenuSpec> MenuTable();
const MenuSpec& Menu(MenuId id);

// k of the item named `item_name` (any case) in `menu`, or -1 when it is none of its items.
int ItemNumber(const MenuSpec& menu, std::string_view item_name);
// The value choosing item k writes.
inline float ItemValue(const MenuSpec& menu, int k) {
  return EncodeChoice(menu.encoding, k);
}

// Where the open menu writes. The window's release handlers reset some of these to -1 while
// the menu may still be open, so bind the target to the menu when it is opened.
enum class TargetSlot {
  kMenuTarget,
  kLfoSelTarget,
  kFilterTarget,
  kLfoNumber,  // always the LFO shown (param::kLfoShown); choosing also sets LfoNumber := k
};
// What the selector's own mouse release does.
enum class ReleaseReset {
  kNothing,
  kFilterTarget,         // FilterTarget := -1
  kLfoSelTargetAndDest,  // LfoSelTarget := -1, DestIndex := -1
};

struct MenuOpener {
  std::string_view image;  // selector component name, e.g. "Mntype1"
  MenuId menu;
  int base;              // target index
  bool plus_lfo_number;  // target is base + LfoNumber ("MnLfoType")
  TargetSlot slot;
  bool shift_opens_nothing;  // a Shift press neither opens the menu nor sets the target
  ReleaseReset release;
  int Target(int lfo_number) const { return plus_lfo_number ? base + lfo_number : base; }
};
std::span<const MenuOpener> MenuOpeners();
// By component name, ignoring case; null when the image opens no selection menu.
const MenuOpener* FindMenuOpener(std::string_view image);

// Name tables; the menus offer only their first items.
extern const std::string_view kWaveNames[22];
extern const std::string_view kFmSourceNames[6];
extern const std::string_view kFilterNames[13];
extern const std::string_view kSemitoneRangeNames[16];

// The owner-draw look of every editor menu item. Colours are given both as written in the
// design (0x00BBGGRR) and as plain 0x00RRGGBB.
constexpr uint32_t kMenuBrushBgr = 0x99CCCC;           // pale khaki
constexpr uint32_t kMenuHighlightBrushBgr = 0x990044;  // deep violet
constexpr uint32_t kMenuBrushRgb = 0xCCCC99;
constexpr uint32_t kMenuHighlightBrushRgb = 0x440099;
constexpr uint32_t kMenuTextRgb = 0x000000;
constexpr uint32_t kMenuHighlightTextRgb = 0xC0C0C0;  // silver
constexpr std::string_view kMenuFontName = "Arial";
struct MenuItemLook {
  uint32_t brush_rgb;
  uint32_t text_rgb;
};
constexpr MenuItemLook MenuLook(bool highlighted) {
  return highlighted ? MenuItemLook{kMenuHighlightBrushRgb, kMenuHighlightTextRgb}
                     : MenuItemLook{kMenuBrushRgb, kMenuTextRgb};
}
// Fill the item's rectangle with the brush, then draw this at the rectangle's top-left.
inline std::string MenuItemDrawnText(std::string_view text) {
  std::string drawn(" ");
  drawn += text;
  return drawn;
}

// The texts of a selector image list, one per frame in frame order ("Iosc", "IBend", ...);
// empty for lists whose frames carry no text or that are not selection lists. IOnOff has two
// frames without text: an empty dark plate (off) and an empty light plate (on).
std::span<const std::string_view> LabelStrip(std::string_view image_list);

}  // namespace vellicor::editor::logic
