#include "form1_layout.h"

namespace portchange {

using gui::Button;
using gui::Label;
using gui::ListBox;
using gui::Role;
using gui::TextBox;

const gui::FormLayout kForm1Layout{
    "Setup Web Service Port",
    gui::Frame::FixedSingle,
    ApplyMode::Change,
    4665,  // client width
    3720,  // client height, in twips
    {
        Label("Label1").At(360, 240).Sized(735, 255).TabIndex(0).Arial(9).Text("Port :").Transparent(),
        TextBox("Text1")
            .At(360, 480)
            .Sized(1260, 375)
            .TabIndex(1)
            .Arial(9)
            .Text("Text1")
            .As(Role::PortText)
            .MaxLength(5),
        Button("Command1").At(2160, 480).Sized(975, 495).TabIndex(2).Arial(9).Text("Change").As(Role::Apply),
        Button("Command2").At(3360, 480).Sized(975, 495).TabIndex(5).Arial(9).Text("Exit").As(Role::Exit),
        Label("Label2").At(360, 1200).Sized(3615, 255).TabIndex(3).Arial(9).Text("Below number don't use."),
        ListBox("List1").At(240, 1440).Sized(4215, 1860).TabIndex(4).Arial(9).As(Role::UsedPorts),
    },
};

}  // namespace portchange
