#include "form1_layout.h"

namespace portsetup {

using gui::ControlKind;
using gui::LineColour;
using gui::Role;

const gui::FormLayout kForm1Layout{
    "設定Apache 通訊埠",
    gui::Frame::None,
    ApplyMode::Setup,
    7440,
    5295,
    {
        {"Picture1", ControlKind::Picture, "Form1", {0, 0, 7455, 975}, 5, {9, false}},
        {"Label4", ControlKind::Label, "Picture1", {360, 120, 2295, 255}, 7, {9, true}, "Setup Port", Role::None, true},
        {"Label3",
         ControlKind::Label,
         "Picture1",
         {600, 480, 5895, 375},
         6,
         {8.25, false},
         "Setup Apache web service port , If you don't know please press next.",
         Role::None,
         true},
        {"Label1", ControlKind::Label, "Form1", {480, 1440, 735, 255}, 0, {9, false}, "Port :", Role::None, true},
        {"Text1",
         ControlKind::TextBox,
         "Form1",
         {480, 1800, 2220, 375},
         1,
         {9, false},
         "Text1",
         Role::PortText,
         false,
         5},
        {"Label2", ControlKind::Label, "Form1", {3720, 1320, 2295, 255}, 3, {9, false}, "below number don't use."},
        {"List1", ControlKind::ListBox, "Form1", {3720, 1680, 2655, 2085}, 4, {9, false}, "", Role::UsedPorts},
        // Together the two lines draw an etched rule above the button.
        {"Line2",
         ControlKind::Line,
         "Form1",
         {0, 4665, 7440, 0},
         -1,
         {9, false},
         "",
         Role::None,
         false,
         0,
         LineColour::DarkShadow},
        {"Line1",
         ControlKind::Line,
         "Form1",
         {0, 4680, 7440, 0},
         -1,
         {9, false},
         "",
         Role::None,
         false,
         0,
         LineColour::Highlight},
        {"Command1", ControlKind::Button, "Form1", {5880, 4800, 1215, 375}, 2, {8.25, false}, "Next", Role::Apply},
    },
};

}  // namespace portsetup
