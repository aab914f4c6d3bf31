#pragma once

// A window as its designer laid it out, written once for both toolkits to
// build from: positions in twips (1440 to the inch, 15 to the pixel at 96
// DPI), fonts as Arial in points, texts in UTF-8.

#include <cstddef>
#include <vector>

#include "apply_mode.h"

namespace gui {

// The designer's name of the window itself, the container of its own controls.
constexpr char kFormName[] = "Form1";

struct Twips {
  int left, top, width, height;
};

enum class ControlKind { Picture, Label, TextBox, ListBox, Button, Line };

// What the window does with a control beyond showing it.
enum class Role {
  None,
  PortText,   // the controller's port box
  UsedPorts,  // the controller's list of used ports
  Apply,      // runs the controller's change request
  Exit,       // closes the window; nothing is written or run
};

// The system colour a line is drawn in.
enum class LineColour { None, DarkShadow, Highlight };

struct Font {
  double points;
  bool bold;
};

// A row of the table. The tables write a row as its kind's maker (Label(name)
// and the like, below) followed by the setters of what it has, each named
// for its field.
struct ControlLayout {
  const char* name;  // the designer name
  ControlKind kind;
  const char* container = kFormName;  // the window, or the picture box it sits on
  Twips place{};                      // a line: its start, its length as width, height 0
  int tabIndex = -1;                  // the designer's tab index; -1 for lines
  Font font{9, false};
  const char* text = "";  // caption or initial text
  Role role = Role::None;
  bool transparent = false;  // a label drawn over its container's background
  int maxLength = 0;         // a text box's limit, in characters
  LineColour lineColour = LineColour::None;

  ControlLayout On(const char* holder) const { return With(&ControlLayout::container, holder); }
  ControlLayout At(int left, int top) const {
    return With(&ControlLayout::place, {left, top, place.width, place.height});
  }
  ControlLayout Sized(int width, int height) const {
    return With(&ControlLayout::place, {place.left, place.top, width, height});
  }
  ControlLayout TabIndex(int index) const { return With(&ControlLayout::tabIndex, index); }
  ControlLayout Arial(double points) const { return With(&ControlLayout::font, {points, font.bold}); }
  ControlLayout Bold() const { return With(&ControlLayout::font, {font.points, true}); }
  ControlLayout Text(const char* caption) const { return With(&ControlLayout::text, caption); }
  ControlLayout As(Role what) const { return With(&ControlLayout::role, what); }
  ControlLayout Transparent() const { return With(&ControlLayout::transparent, true); }
  ControlLayout MaxLength(int characters) const { return With(&ControlLayout::maxLength, characters); }
  ControlLayout Colour(LineColour colour) const { return With(&ControlLayout::lineColour, colour); }

 private:
  template <typename Field>
  ControlLayout With(Field ControlLayout::*field, Field value) const {
    ControlLayout row = *this;
    row.*field = value;
    return row;
  }
};

inline ControlLayout Picture(const char* name) { return {name, ControlKind::Picture}; }
inline ControlLayout Label(const char* name) { return {name, ControlKind::Label}; }
inline ControlLayout TextBox(const char* name) { return {name, ControlKind::TextBox}; }
inline ControlLayout ListBox(const char* name) { return {name, ControlKind::ListBox}; }
inline ControlLayout Button(const char* name) { return {name, ControlKind::Button}; }
inline ControlLayout Line(const char* name) { return {name, ControlKind::Line}; }

enum class Frame {
  None,         // no border and no title bar
  FixedSingle,  // a single fixed border, a title bar and only the close box
};

struct FormLayout {
  const char* caption;
  Frame frame;
  ApplyMode mode;
  int width, height;  // the client area, in twips
  std::vector<ControlLayout> controls;
};

// Where a control is made: kOnForm for the window itself, else the index of
// its container in the table.
constexpr size_t kOnForm = static_cast<size_t>(-1);
struct Creation {
  size_t control;
  size_t container;
};

// The order in which both toolkits make the controls: each after its
// container, siblings in tab order, which is the order both toolkits' Tab
// then follows. Throws std::logic_error for a container the table lacks.
std::vector<Creation> CreationOrder(const FormLayout& layout);

// A place on the screen, in pixels.
struct PixelArea {
  int left, top, width, height;
};

// Where a window of the size opens: centred on the work area of its screen,
// its top left corner kept on the area when it is larger, so that its title
// bar stays in reach.
PixelArea CentredOn(const PixelArea& work, int width, int height);

// The setup page's banner, in pixels at 96 DPI: a white strip with a grey rule
// along its foot and the program's icon at its right end.
struct BannerPicture {
  int width = 495, height = 56;
  unsigned ruleRgb = 0x808080;
  int iconLeft = 441, iconTop = 6, iconSize = 44;
};
constexpr BannerPicture kBanner{};

}  // namespace gui
