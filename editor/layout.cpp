#include "editor/layout.h"

#include <cctype>
#include <iterator>

namespace vellicor::editor {

namespace {

constexpr ComponentKind I = ComponentKind::kImage;
constexpr ComponentKind P = ComponentKind::kPanel;
constexpr bool kKeyed = true;
constexpr bool kOpaque = false;

}  // namespace

const ComponentSpec kComponents[] = {
    // Images on the form itself: below every panel.
    {"Image1", I, nullptr, 0, -1, 637, 513, kOpaque},
    {"Evol", I, nullptr, 12, 478, 101, 31, kKeyed},
    {"backdial", I, nullptr, 210, 473, 31, 31, kKeyed},
    {"Backslider", I, nullptr, 10, 467, 100, 13, kKeyed},
    {"Image11", I, nullptr, 446, 484, 181, 21, kOpaque},
    {"Mntype1", I, nullptr, 12, 20, 40, 13, kKeyed},
    {"MnFmType1", I, nullptr, 12, 36, 40, 13, kKeyed},
    {"mNrING1", I, nullptr, 12, 52, 40, 13, kKeyed},
    {"MnEnvVol1", I, nullptr, 12, 78, 40, 13, kKeyed},
    {"MnEnvFm1", I, nullptr, 12, 94, 40, 13, kKeyed},
    {"MnEnvPitch1", I, nullptr, 12, 110, 40, 13, kKeyed},
    {"MnPrange1", I, nullptr, 12, 126, 40, 13, kKeyed},
    {"MnVolLfo1", I, nullptr, 12, 142, 40, 13, kKeyed},
    {"MnPitLfo1", I, nullptr, 12, 158, 40, 13, kKeyed},
    {"MnPlfo1", I, nullptr, 12, 174, 40, 13, kKeyed},
    {"MnLfoNo", I, nullptr, 12, 216, 40, 13, kKeyed},
    {"MnLfoType", I, nullptr, 12, 236, 40, 13, kKeyed},
    {"MnELFOAMP", I, nullptr, 12, 256, 40, 13, kKeyed},
    {"MnELFOFrq", I, nullptr, 12, 276, 40, 13, kKeyed},
    {"MnLfoReset", I, nullptr, 12, 296, 40, 13, kKeyed},
    {"MnType2", I, nullptr, 240, 24, 40, 13, kKeyed},
    {"MnFMType2", I, nullptr, 240, 40, 40, 13, kKeyed},
    {"MnEnvVol2", I, nullptr, 240, 78, 40, 13, kKeyed},
    {"MnEnvFm2", I, nullptr, 240, 94, 40, 13, kKeyed},
    {"MnEnvPitch2", I, nullptr, 240, 110, 40, 13, kKeyed},
    {"MnPrange2", I, nullptr, 240, 126, 40, 13, kKeyed},
    {"MnVolLfo2", I, nullptr, 240, 142, 40, 13, kKeyed},
    {"MnPitLfo2", I, nullptr, 240, 158, 40, 13, kKeyed},
    {"MnPLfo2", I, nullptr, 240, 174, 40, 13, kKeyed},
    {"MnFilter1", I, nullptr, 468, 24, 40, 13, kKeyed},
    {"MnFtracking1", I, nullptr, 469, 52, 40, 13, kKeyed},
    {"MnEnvFilter1", I, nullptr, 468, 84, 40, 13, kKeyed},
    {"MnFilter1LFO", I, nullptr, 468, 112, 40, 13, kKeyed},
    {"MnAmpEnv", I, nullptr, 240, 216, 40, 13, kKeyed},
    {"MnPanLfo", I, nullptr, 240, 236, 40, 13, kKeyed},
    {"MnVolLfo", I, nullptr, 240, 256, 40, 13, kKeyed},
    {"MnPShift", I, nullptr, 240, 276, 40, 13, kKeyed},
    {"MnLtracking", I, nullptr, 240, 296, 40, 13, kKeyed},
    {"MnMode", I, nullptr, 468, 227, 40, 13, kKeyed},
    {"MnArpmode", I, nullptr, 468, 260, 40, 13, kKeyed},
    {"MnArpOct", I, nullptr, 468, 296, 40, 13, kKeyed},
    {"Backi", I, nullptr, 12, 358, 610, 110, kOpaque},
    // Panels, stacked in this order.
    {"Panel6", P, nullptr, 120, 483, 321, 23, kOpaque},
    {"PrintOut", I, "Panel6", 0, 0, 321, 23, kKeyed},
    {"Panel1", P, nullptr, 92, 24, 109, 161, kOpaque},
    {"Image2", I, "Panel1", 0, 0, 109, 161, kOpaque},
    {"Hvol1", I, "Panel1", 4, 0, 100, 13, kKeyed},
    {"HOct1", I, "Panel1", 4, 28, 100, 13, kKeyed},
    {"HSemi1", I, "Panel1", 4, 56, 100, 13, kKeyed},
    {"DlFine1", I, "Panel1", 0, 84, 31, 31, kKeyed},
    {"DLPwm1", I, "Panel1", 40, 84, 31, 31, kKeyed},
    {"DlPwms1", I, "Panel1", 80, 84, 31, 31, kKeyed},
    {"DlFm1", I, "Panel1", 40, 130, 31, 31, kKeyed},
    {"Panel2", P, nullptr, 325, 23, 110, 165, kOpaque},
    {"Image3", I, "Panel2", 0, 0, 113, 205, kOpaque},
    {"HVol2", I, "Panel2", 4, 0, 100, 13, kKeyed},
    {"HOct2", I, "Panel2", 2, 28, 100, 13, kKeyed},
    {"HSemi2", I, "Panel2", 4, 56, 100, 13, kKeyed},
    {"DlFine2", I, "Panel2", 0, 84, 31, 31, kKeyed},
    {"DlPWm2", I, "Panel2", 38, 84, 31, 31, kKeyed},
    {"DlPWms2", I, "Panel2", 78, 84, 31, 31, kKeyed},
    {"DlFm2", I, "Panel2", 18, 130, 31, 31, kKeyed},
    {"DlSync2", I, "Panel2", 58, 130, 31, 31, kKeyed},
    {"Panel3", P, nullptr, 541, 25, 73, 105, kOpaque},
    {"Image4", I, "Panel3", 0, 0, 77, 109, kOpaque},
    {"DlFVol1", I, "Panel3", 0, 76, 31, 31, kKeyed},
    {"DlFdist1", I, "Panel3", 0, 0, 31, 31, kKeyed},
    {"DlFRes1", I, "Panel3", 40, 36, 31, 31, kKeyed},
    {"Panel4", P, nullptr, 470, 144, 141, 43, kOpaque},
    {"Image5", I, "Panel4", 0, 0, 141, 45, kOpaque},
    {"HFenv1", I, "Panel4", 40, 30, 100, 13, kKeyed},
    {"HFHi1", I, "Panel4", 0, -2, 100, 13, kKeyed},
    {"Panel5", P, nullptr, 92, 240, 100, 70, kOpaque},
    {"Image6", I, "Panel5", 0, 0, 101, 69, kOpaque},
    {"HAmp", I, "Panel5", 0, 0, 100, 13, kKeyed},
    {"HSpeed", I, "Panel5", 0, 28, 100, 13, kKeyed},
    {"Hsh", I, "Panel5", 0, 56, 100, 13, kKeyed},
    {"Panel7", P, nullptr, 324, 240, 100, 70, kOpaque},
    {"Image7", I, "Panel7", 0, 0, 177, 100, kOpaque},
    {"Hvolume", I, "Panel7", 0, 0, 100, 13, kKeyed},
    {"Hrel", I, "Panel7", 0, 28, 100, 13, kKeyed},
    {"Htempo", I, "Panel7", 0, 56, 100, 13, kKeyed},
    {"Panel8", P, nullptr, 526, 224, 99, 89, kOpaque},
    {"Image8", I, "Panel8", 0, 0, 100, 89, kOpaque},
    {"HArpLen", I, "Panel8", 0, 42, 100, 13, kKeyed},
    {"HArpGate", I, "Panel8", 0, 70, 100, 13, kKeyed},
    {"HPort", I, "Panel8", 0, 0, 31, 31, kKeyed},
    {"HStereo", I, "Panel8", 64, 0, 31, 31, kKeyed},
    {"Panel9", P, nullptr, -2, 331, 638, 148, kOpaque},
    {"Image9", I, "Panel9", 0, 0, 637, 149, kOpaque},
    {"MnEnv", I, "Panel9", 18, 9, 40, 13, kKeyed},
    {"HLen", I, "Panel9", 60, 9, 100, 13, kKeyed},
    {"HControl", I, "Panel9", 206, 9, 100, 13, kKeyed},
    {"Ecomm", I, "Panel9", 314, 9, 40, 13, kKeyed},
    {"MnSnapp", I, "Panel9", 390, 9, 40, 13, kKeyed},
    {"MnSnapt", I, "Panel9", 470, 9, 40, 13, kKeyed},
    {"MnEnvSus", I, "Panel9", 550, 9, 40, 13, kKeyed},
    {"EnvI", I, "Panel9", 16, 31, 610, 110, kOpaque},
    {"Pabout", P, nullptr, 32, 24, 200, 200, kOpaque},
    {"Abouti", I, "Pabout", 0, 0, 200, 200, kOpaque},
    {"Pevol", P, nullptr, 180, -4, 285, 345, kOpaque},
    {"Ievol", I, "Pevol", 0, 0, 284, 347, kOpaque},
    {"HEAmount", I, "Pevol", 152, 268, 100, 13, kKeyed},
    {"HeLevel", I, "Pevol", 28, 268, 100, 13, kKeyed},
    {"EvolClose", I, "Pevol", 192, 296, 69, 25, kOpaque},
    {"Image10", I, "Pevol", 28, 292, 69, 25, kOpaque},
    // The slots read left to right, top to bottom; the middle row's last slot sits 4 pixels
    // lower than its neighbours.
    {"Ev1", I, "Pevol", 60, 52, 53, 53, kOpaque},
    {"Ev2", I, "Pevol", 120, 52, 53, 53, kOpaque},
    {"ev3", I, "Pevol", 176, 52, 53, 53, kOpaque},
    {"ev4", I, "Pevol", 60, 112, 53, 53, kOpaque},
    {"ev5", I, "Pevol", 120, 112, 53, 53, kOpaque},
    {"ev6", I, "Pevol", 176, 116, 53, 53, kOpaque},
    {"ev7", I, "Pevol", 60, 172, 53, 53, kOpaque},
    {"ev8", I, "Pevol", 120, 172, 53, 53, kOpaque},
    {"ev9", I, "Pevol", 176, 172, 53, 53, kOpaque},
};

const int kComponentCount = static_cast<int>(std::size(kComponents));

const ComponentSpec* FindComponent(std::string_view name) {
  for (const ComponentSpec& c : kComponents) {
    const std::string_view n = c.name;
    if (n.size() != name.size()) continue;
    bool same = true;
    for (size_t i = 0; i < n.size() && same; ++i) {
      same = std::toupper(static_cast<unsigned char>(n[i])) ==
             std::toupper(static_cast<unsigned char>(name[i]));
    }
    if (same) return &c;
  }
  return nullptr;
}

std::optional<gui::Rect> FormRect(std::string_view name) {
  const ComponentSpec* c = FindComponent(name);
  if (c == nullptr) return std::nullopt;
  int left = c->left;
  int top = c->top;
  // Parents are few and always earlier in the table; the depth bound guards a broken table.
  const ComponentSpec* p = c->parent != nullptr ? FindComponent(c->parent) : nullptr;
  for (int depth = 0; p != nullptr && depth < 8; ++depth) {
    left += p->left;
    top += p->top;
    p = p->parent != nullptr ? FindComponent(p->parent) : nullptr;
  }
  return gui::Rect::XYWH(left, top, c->width, c->height);
}

}  // namespace vellicor::editor
