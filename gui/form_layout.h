#pragma once

// A window as its designer laid it out, written once for both toolkits to
// build from: positions in twips (1440 to the inch, 15 to the pixel at 96
// DPI), fonts as Arial in points, texts in UTF-8.

#include <vector>

#include "apply_mode.h"

namespace gui {

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

struct ControlLayout {
  const char* name;  // the designer name
  ControlKind kind;
  const char* container;  // "Form1", or the picture box it sits on
  Twips place;            // a line: its start, its length as width, height 0
  int tabIndex;           // the designer's tab index; -1 for lines
  Font font;
  const char* text = "";  // caption or initial text
  Role role = Role::None;
  bool transparent = false;  // a label drawn over its container's background
  int maxLength = 0;         // a text box's limit, in characters
  LineColour lineColour = LineColour::None;
};

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

// Only these kinds take the focus; a picture box or label is no tab stop.
inline bool TakesFocus(ControlKind kind) {
  return kind == ControlKind::TextBox || kind == ControlKind::ListBox || kind == ControlKind::Button;
}

// The setup page's banner, in pixels at 96 DPI: a white strip with a grey rule
// along its foot and the program's icon at its right end.
struct BannerPicture {
  int width = 495, height = 56;
  unsigned ruleRgb = 0x808080;
  int iconLeft = 441, iconTop = 6, iconSize = 44;
};
constexpr BannerPicture kBanner{};

}  // namespace gui
