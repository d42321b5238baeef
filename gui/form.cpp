#include "gui/form.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace vellicor::gui {

namespace {

constexpr int kMaxPosition = 32768;
constexpr size_t kMaxDirtyRects = 8;

Rect BoundRect(const Rect& r) {
  const int left = std::clamp(r.left, -kMaxPosition, kMaxPosition);
  const int top = std::clamp(r.top, -kMaxPosition, kMaxPosition);
  const long long w = static_cast<long long>(r.right) - r.left;
  const long long h = static_cast<long long>(r.bottom) - r.top;
  return Rect::XYWH(left, top, static_cast<int>(std::clamp<long long>(w, 0, kMaxBitmapSide)),
                    static_cast<int>(std::clamp<long long>(h, 0, kMaxBitmapSide)));
}

std::string Upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

unsigned HeldBit(MouseButton b) {
  switch (b) {
    case MouseButton::kLeft:
      return kLeftHeld;
    case MouseButton::kRight:
      return kRightHeld;
    case MouseButton::kMiddle:
      return kMiddleHeld;
    case MouseButton::kNone:
      break;
  }
  return 0;
}

bool Touches(const Rect& a, const Rect& b) {
  return a.left <= b.right && b.left <= a.right && a.top <= b.bottom && b.top <= a.bottom;
}

}  // namespace

// --- Component ------------------------------------------------------------------------------

Component::Component(Form& form, Kind kind, std::string_view name, Panel* parent,
                     const Rect& bounds)
    : form_(form),
      kind_(kind),
      name_(name),
      upper_name_(Upper(name)),
      parent_(parent),
      bounds_(BoundRect(bounds)) {}

void Component::SetBounds(const Rect& bounds) {
  const Rect bounded = BoundRect(bounds);
  if (bounded == bounds_) return;
  Invalidate();
  bounds_ = bounded;
  Invalidate();
}

void Component::SetVisible(bool visible) {
  if (visible == visible_) return;
  if (visible_) Invalidate();
  visible_ = visible;
  if (visible_) Invalidate();
}

bool Component::Showing() const {
  for (const Component* c = this; c != nullptr; c = c->parent_) {
    if (!c->visible_) return false;
  }
  return true;
}

void Component::BringToFront() {
  auto& siblings = form_.SiblingsOf(*this);
  auto it = std::find(siblings.begin(), siblings.end(), this);
  if (it == siblings.end()) return;
  std::rotate(it, it + 1, siblings.end());
  Invalidate();
}

void Component::SendToBack() {
  auto& siblings = form_.SiblingsOf(*this);
  auto it = std::find(siblings.begin(), siblings.end(), this);
  if (it == siblings.end()) return;
  std::rotate(siblings.begin(), it, it + 1);
  Invalidate();
}

Rect Component::FormBounds() const {
  const Point origin = ToForm({0, 0});
  return Rect::XYWH(origin.x, origin.y, bounds_.width(), bounds_.height());
}

Point Component::ToForm(Point local) const {
  for (const Component* c = this; c != nullptr; c = c->parent_) {
    local.x += c->bounds_.left;
    local.y += c->bounds_.top;
  }
  return local;
}

Point Component::FromForm(Point form_point) const {
  const Point origin = ToForm({0, 0});
  return {form_point.x - origin.x, form_point.y - origin.y};
}

void Component::Invalidate() const {
  form_.Invalidate(form_.VisibleRect(*this));
}

// --- Image and Panel --------------------------------------------------------------------------

Image::Image(Form& form, std::string_view name, Panel* parent, const Rect& bounds)
    : Component(form, Kind::kImage, name, parent, bounds) {}

Bitmap& Image::Edit() {
  if (bitmap_.empty()) bitmap_.Reset(bounds().width(), bounds().height(), kWhite, form().scale());
  Invalidate();
  return bitmap_;
}

void Image::SetBitmap(Bitmap bitmap) {
  bitmap_ = std::move(bitmap);
  Invalidate();
}

void Image::SetTransparent(bool transparent) {
  if (transparent == transparent_) return;
  transparent_ = transparent;
  Invalidate();
}

Panel::Panel(Form& form, std::string_view name, Panel* parent, const Rect& bounds)
    : Component(form, Kind::kPanel, name, parent, bounds) {}

void Panel::SetColor(Color color) {
  if (color == color_) return;
  color_ = color & 0xFFFFFF;
  Invalidate();
}

// --- Form -------------------------------------------------------------------------------------

Form::Form(int width, int height, Color color) : color_(color & 0xFFFFFF), frame_(width, height) {
  InvalidateAll();
}

void Form::SetScale(Scale scale) {
  frame_.Reset(frame_.width(), frame_.height(), kWhite, scale);
  for (const auto& c : owned_) {
    if (c->kind() == Component::Kind::kImage) static_cast<Image&>(*c).bitmap_ = Bitmap();
  }
  InvalidateAll();
}

void Form::SetColor(Color color) {
  color_ = color & 0xFFFFFF;
  InvalidateAll();
}

template <typename T>
T& Form::Add(std::string_view name, const Rect& bounds, Panel* parent) {
  if (parent != nullptr && &parent->form() != this) parent = nullptr;
  auto component = std::make_unique<T>(*this, name, parent, bounds);
  T& ref = *component;
  owned_.push_back(std::move(component));
  (parent != nullptr ? parent->children_ : children_).push_back(&ref);
  ref.Invalidate();
  return ref;
}

Image& Form::AddImage(std::string_view name, const Rect& bounds, Panel* parent) {
  return Add<Image>(name, bounds, parent);
}

Panel& Form::AddPanel(std::string_view name, const Rect& bounds, Panel* parent) {
  return Add<Panel>(name, bounds, parent);
}

Component* Form::Find(std::string_view name) const {
  const std::string upper = Upper(name);
  for (const auto& c : owned_) {
    if (c->upper_name() == upper) return c.get();
  }
  return nullptr;
}

Image* Form::FindImage(std::string_view name) const {
  Component* c = Find(name);
  return c != nullptr && c->kind() == Component::Kind::kImage ? static_cast<Image*>(c) : nullptr;
}

Panel* Form::FindPanel(std::string_view name) const {
  Component* c = Find(name);
  return c != nullptr && c->kind() == Component::Kind::kPanel ? static_cast<Panel*>(c) : nullptr;
}

std::vector<Component*>& Form::SiblingsOf(const Component& c) {
  return c.parent() != nullptr ? c.parent()->children_ : children_;
}

Rect Form::VisibleRect(const Component& c) const {
  if (!c.Showing()) return {};
  Rect r = c.FormBounds();
  for (const Component* p = c.parent(); p != nullptr; p = p->parent()) {
    r = r.Intersect(p->FormBounds());
  }
  return r.Intersect(bounds());
}

void Form::Invalidate(const Rect& rect) {
  Rect r = rect.Intersect(bounds());
  if (r.empty()) return;
  // Merge with every waiting rectangle it touches, so overlapping parts are painted once.
  for (bool merged = true; merged;) {
    merged = false;
    for (auto it = dirty_.begin(); it != dirty_.end(); ++it) {
      if (Touches(*it, r)) {
        r = r.Union(*it);
        dirty_.erase(it);
        merged = true;
        break;
      }
    }
  }
  dirty_.push_back(r);
  if (dirty_.size() > kMaxDirtyRects) {
    Rect all;
    for (const Rect& d : dirty_) all = all.Union(d);
    dirty_.assign(1, all);
  }
}

std::vector<Rect> Form::Compose() {
  std::vector<Rect> painted;
  painted.swap(dirty_);
  for (const Rect& r : painted) {
    frame_.FillRect(r, color_);
    Paint(children_, {0, 0}, r);
  }
  return painted;
}

void Form::Paint(const std::vector<Component*>& children, Point origin, const Rect& clip) {
  for (const Component::Kind pass : {Component::Kind::kImage, Component::Kind::kPanel}) {
    for (const Component* c : children) {
      if (c->kind() != pass || !c->visible()) continue;
      const Rect area = c->bounds().Offset(origin.x, origin.y);
      const Rect r = area.Intersect(clip);
      if (r.empty()) continue;
      if (pass == Component::Kind::kImage) {
        const auto& image = static_cast<const Image&>(*c);
        std::optional<Color> key;
        if (image.transparent()) key = image.bitmap().TransparentColor();
        frame_.DrawClipped(image.bitmap(), area.left, area.top, r, key);
      } else {
        const auto& panel = static_cast<const Panel&>(*c);
        frame_.FillRect(r, panel.color());
        Paint(panel.children(), {area.left, area.top}, r);
      }
    }
  }
}

Component* Form::HitIn(const std::vector<Component*>& children, Point origin, const Rect& clip,
                       Point p) const {
  for (const Component::Kind pass : {Component::Kind::kPanel, Component::Kind::kImage}) {
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
      Component* c = *it;
      if (c->kind() != pass || !c->visible() || !c->enabled()) continue;
      const Rect area = c->bounds().Offset(origin.x, origin.y);
      const Rect r = area.Intersect(clip);
      if (!r.Contains(p)) continue;
      if (pass == Component::Kind::kPanel) {
        const auto& panel = static_cast<const Panel&>(*c);
        if (Component* inner = HitIn(panel.children(), {area.left, area.top}, r, p)) return inner;
      }
      return c;
    }
  }
  return nullptr;
}

Component* Form::HitTest(Point form_point) const {
  return HitIn(children_, {0, 0}, bounds(), form_point);
}

MouseEvent Form::EventFor(MouseAction action, Component* target, Point form_point,
                          MouseButton button, unsigned modifiers) const {
  MouseEvent e;
  e.action = action;
  e.component = target;
  if (target != nullptr) {
    e.name = target->upper_name();
    e.pos = target->FromForm(form_point);
  } else {
    e.pos = form_point;
  }
  e.button = button;
  e.state = (modifiers & kModifierMask) | held_;
  return e;
}

std::vector<MouseEvent> Form::Mouse(MouseAction action, Point form_point, MouseButton button,
                                    unsigned modifiers) {
  std::vector<MouseEvent> events;
  const unsigned bit = HeldBit(button);
  switch (action) {
    case MouseAction::kDown: {
      if (bit == 0) break;
      if (held_ == 0) capture_ = HitTest(form_point);
      held_ |= bit;
      events.push_back(EventFor(action, capture_, form_point, button, modifiers));
      break;
    }
    case MouseAction::kMove: {
      Component* target = held_ != 0 ? capture_ : HitTest(form_point);
      events.push_back(EventFor(action, target, form_point, MouseButton::kNone, modifiers));
      break;
    }
    case MouseAction::kUp: {
      if (bit == 0 || (held_ & bit) == 0) break;
      held_ &= ~bit;
      Component* target = capture_;
      if (held_ == 0) capture_ = nullptr;
      if (button == MouseButton::kLeft && target != nullptr && target->Showing() &&
          Rect::XYWH(0, 0, target->bounds().width(), target->bounds().height())
              .Contains(target->FromForm(form_point))) {
        events.push_back(EventFor(MouseAction::kClick, target, form_point, button, modifiers));
      }
      events.push_back(EventFor(action, target, form_point, button, modifiers));
      break;
    }
    case MouseAction::kClick:
      break;
  }
  return events;
}

void Form::ReleaseCapture() {
  held_ = 0;
  capture_ = nullptr;
}

}  // namespace vellicor::gui
