// The form: a tree of named components (images and panels) composed into one frame bitmap,
// with mouse routing by hit-testing and capture. Platform-free: a PlatformWindow shows the
// frame and feeds the mouse in; tests drive it directly.
//
// Stacking: within one parent, images lie below panels (images are painted on their parent,
// panels are windows of their own); among images, and among panels, a later one lies above an
// earlier one. BringToFront and SendToBack move a component within its own group.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "gui/bitmap.h"
#include "gui/geometry.h"

namespace vellicor::gui {

class Form;
class Panel;

enum class MouseButton { kNone, kLeft, kRight, kMiddle };
enum class MouseAction { kDown, kMove, kUp, kClick };

// Keyboard modifiers and held buttons of a mouse event (MouseEvent::state).
enum MouseState : unsigned {
  kShift = 1,
  kCtrl = 2,
  kAlt = 4,
  kLeftHeld = 8,
  kRightHeld = 16,
  kMiddleHeld = 32,
};
constexpr unsigned kModifierMask = kShift | kCtrl | kAlt;

class Component;

struct MouseEvent {
  MouseAction action = MouseAction::kMove;
  Component* component = nullptr;           // nullptr: the form's own background
  std::string name;                         // the component's name upper-cased; "" for the form
  MouseButton button = MouseButton::kNone;  // the button pressed or released; kNone for moves
  Point pos;                                // in the component's own pixels
  unsigned state = 0;                       // MouseState bits after the event

  bool shift() const { return (state & kShift) != 0; }
  bool ctrl() const { return (state & kCtrl) != 0; }
  bool alt() const { return (state & kAlt) != 0; }
};

class Component {
 public:
  enum class Kind { kImage, kPanel };

  virtual ~Component() = default;
  Component(const Component&) = delete;
  Component& operator=(const Component&) = delete;

  Kind kind() const { return kind_; }
  const std::string& name() const { return name_; }
  const std::string& upper_name() const { return upper_name_; }
  Panel* parent() const { return parent_; }
  Form& form() const { return form_; }

  // Position and size relative to the parent. Positions are bounded to +-32768, sizes to
  // 0..kMaxBitmapSide.
  const Rect& bounds() const { return bounds_; }
  void SetBounds(const Rect& bounds);

  // A hidden component and everything on it is neither drawn nor hit. A disabled one is drawn
  // but lets the mouse through to what lies below it.
  bool visible() const { return visible_; }
  void SetVisible(bool visible);
  bool enabled() const { return enabled_; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }
  // Visible, and so are all its parents.
  bool Showing() const;

  void BringToFront();
  void SendToBack();

  // Where this component lies on the form (not cut by its parents).
  Rect FormBounds() const;
  Point ToForm(Point local) const;
  Point FromForm(Point form_point) const;

 protected:
  Component(Form& form, Kind kind, std::string_view name, Panel* parent, const Rect& bounds);
  // Marks the part of the form this component shows for repainting.
  void Invalidate() const;

 private:
  friend class Form;
  friend class Panel;

  Form& form_;
  Kind kind_;
  std::string name_;
  std::string upper_name_;
  Panel* parent_;
  Rect bounds_;
  bool visible_ = true;
  bool enabled_ = true;
};

// A bitmap shown at the component's top-left corner, cut to the component's size; where the
// bitmap is smaller, what lies below shows. Transparent images key out their bitmap's
// bottom-left pixel colour.
class Image final : public Component {
 public:
  Image(Form& form, std::string_view name, Panel* parent, const Rect& bounds);

  const Bitmap& bitmap() const { return bitmap_; }
  // The bitmap to paint on; marks the image for repainting. An image without a bitmap gets a
  // white one of the component's size at the form's scale first.
  Bitmap& Edit();
  void SetBitmap(Bitmap bitmap);

  bool transparent() const { return transparent_; }
  void SetTransparent(bool transparent);

 private:
  friend class Form;

  Bitmap bitmap_;
  bool transparent_ = false;
};

// A plain container filled with its colour; its children are cut to its area.
class Panel final : public Component {
 public:
  Panel(Form& form, std::string_view name, Panel* parent, const Rect& bounds);

  Color color() const { return color_; }
  void SetColor(Color color);
  // Children in the order they were added (stacking is by kind, then this order).
  const std::vector<Component*>& children() const { return children_; }

 private:
  friend class Form;
  friend class Component;

  Color color_ = 0xF0F0F0;
  std::vector<Component*> children_;
};

class Form {
 public:
  explicit Form(int width, int height, Color color = kWhite);
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  int width() const { return frame_.width(); }
  int height() const { return frame_.height(); }
  Rect bounds() const { return frame_.bounds(); }
  // The frame's scale: the form keeps its coordinates, its frame has the scaled pixels.
  Scale scale() const { return frame_.scale(); }
  // Composes the frame at `scale` from now on. Every image loses its bitmap: whoever painted it
  // paints it again at the new scale (Image::Edit makes a white one of it).
  void SetScale(Scale scale);
  Color color() const { return color_; }
  void SetColor(Color color);

  // Components live as long as the form. `parent` nullptr places them on the form itself.
  Image& AddImage(std::string_view name, const Rect& bounds, Panel* parent = nullptr);
  Panel& AddPanel(std::string_view name, const Rect& bounds, Panel* parent = nullptr);

  // By name, ignoring case; nullptr when there is none.
  Component* Find(std::string_view name) const;
  Image* FindImage(std::string_view name) const;
  Panel* FindPanel(std::string_view name) const;
  const std::vector<Component*>& children() const { return children_; }

  // --- Painting ---------------------------------------------------------------------------
  // Parts of the frame waiting to be repainted. Component changes add their own.
  void Invalidate(const Rect& rect);
  void InvalidateAll() { Invalidate(bounds()); }
  bool dirty() const { return !dirty_.empty(); }
  // Repaints what is waiting into frame() and returns the rectangles repainted (in the form's
  // coordinates: frame().ScreenRect gives their pixels).
  std::vector<Rect> Compose();
  // The composed frame (as of the last Compose).
  const Bitmap& frame() const { return frame_; }

  // --- Mouse ------------------------------------------------------------------------------
  // The topmost showing, enabled component at a point of the form (a panel when no image of
  // it is there); nullptr for the form's own background or a point outside.
  Component* HitTest(Point form_point) const;

  // Routes one mouse action at a form point (`button` for presses and releases, `modifiers`
  // of kShift, kCtrl, kAlt) and returns the events to deliver, in order:
  // - a press goes to the component hit, which keeps the mouse (capture) until every button
  //   is released: moves and releases go to it, in its coordinates, wherever they happen;
  // - a left release inside the pressed component delivers kClick and then kUp;
  // - a release without a press (the press went to a popup menu) delivers nothing;
  // - moves with no button held go to the component hit.
  std::vector<MouseEvent> Mouse(MouseAction action, Point form_point, MouseButton button,
                                unsigned modifiers);
  // The component holding the mouse while a button is held (nullptr for the form itself).
  bool pressed() const { return held_ != 0; }
  Component* captured() const { return capture_; }
  // Ends a press without a release event: a popup menu took the mouse.
  void ReleaseCapture();

 private:
  friend class Component;
  friend class Panel;

  template <typename T>
  T& Add(std::string_view name, const Rect& bounds, Panel* parent);
  std::vector<Component*>& SiblingsOf(const Component& c);
  Rect VisibleRect(const Component& c) const;
  void Paint(const std::vector<Component*>& children, Point origin, const Rect& clip);
  Component* HitIn(const std::vector<Component*>& children, Point origin, const Rect& clip,
                   Point p) const;
  MouseEvent EventFor(MouseAction action, Component* target, Point form_point, MouseButton button,
                      unsigned modifiers) const;

  Color color_;
  Bitmap frame_;
  std::vector<std::unique_ptr<Component>> owned_;
  std::vector<Component*> children_;
  std::vector<Rect> dirty_;
  unsigned held_ = 0;  // kLeftHeld | kRightHeld | kMiddleHeld
  Component* capture_ = nullptr;
};

}  // namespace vellicor::gui
