#include "form1_layout.h"

namespace portsetup {

using gui::Button;
using gui::Label;
using gui::Line;
using gui::LineColour;
using gui::ListBox;
using gui::Picture;
using gui::Role;
using gui::TextBox;

const gui::FormLayout kForm1Layout{
    "設定Apache 通訊埠",
    gui::Frame::None,
    ApplyMode::Setup,
    7440,  // client width
    5295,  // client height, in twips
    {
        Picture("Picture1").At(0, 0).Sized(7455, 975).TabIndex(5).Arial(9),
        Label("Label4")
            .On("Picture1")
            .At(360, 120)
            .Sized(2295, 255)
            .TabIndex(7)
            .Arial(9)
            .Bold()
            .Text("Setup Port")
            .Transparent(),
        Label("Label3")
            .On("Picture1")
            .At(600, 480)
            .Sized(5895, 375)
            .TabIndex(6)
            .Arial(8.25)
            .Text("Setup Apache web service port , If you don't know please press next.")
            .Transparent(),
        Label("Label1").At(480, 1440).Sized(735, 255).TabIndex(0).Arial(9).Text("Port :").Transparent(),
        TextBox("Text1")
            .At(480, 1800)
            .Sized(2220, 375)
            .TabIndex(1)
            .Arial(9)
            .Text("Text1")
            .As(Role::PortText)
            .MaxLength(5),
        Label("Label2").At(3720, 1320).Sized(2295, 255).TabIndex(3).Arial(9).Text("below number don't use."),
        ListBox("List1").At(3720, 1680).Sized(2655, 2085).TabIndex(4).Arial(9).As(Role::UsedPorts),
        // Together the two lines draw an etched rule above the button.
        Line("Line2").At(0, 4665).Sized(7440, 0).Colour(LineColour::DarkShadow),
        Line("Line1").At(0, 4680).Sized(7440, 0).Colour(LineColour::Highlight),
        Button("Command1").At(5880, 4800).Sized(1215, 375).TabIndex(2).Arial(8.25).Text("Next").As(Role::Apply),
    },
};

}  // namespace portsetup
