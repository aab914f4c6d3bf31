#include "form1_layout.h"

namespace portchange {

using gui::ControlKind;
using gui::Role;

constexpr gui::Font kArial9{9, false};

const gui::FormLayout kForm1Layout{
    "Setup Web Service Port",
    gui::Frame::FixedSingle,
    ApplyMode::Change,
    4665,
    3720,
    {
        {"Label1", ControlKind::Label, "Form1", {360, 240, 735, 255}, 0, kArial9, "Port :", Role::None, true},
        {"Text1", ControlKind::TextBox, "Form1", {360, 480, 1260, 375}, 1, kArial9, "Text1", Role::PortText, false, 5},
        {"Command1", ControlKind::Button, "Form1", {2160, 480, 975, 495}, 2, kArial9, "Change", Role::Apply},
        {"Command2", ControlKind::Button, "Form1", {3360, 480, 975, 495}, 5, kArial9, "Exit", Role::Exit},
        {"Label2", ControlKind::Label, "Form1", {360, 1200, 3615, 255}, 3, kArial9, "Below number don't use."},
        {"List1", ControlKind::ListBox, "Form1", {240, 1440, 4215, 1860}, 4, kArial9, "", Role::UsedPorts},
    },
};

}  // namespace portchange
