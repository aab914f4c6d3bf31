#pragma once

// What the window and end-to-end tests do to a program's window, as its user
// would: answer its boxes, type a port, press a button, read the used ports.
// The tests' files, trees and sockets come from the core tests' kit.

#include <QLineEdit>
#include <QStringList>
#include <functional>

#include "port_window.h"

// portsetup's or portchange's layout table.
const gui::FormLayout& Layout(const QString& program);
// The window's control of that name; there must be one.
QWidget* Control(const QWidget& window, const QString& name);
QLineEdit* PortBox(const QWidget& window);
QStringList ListedPorts(const QWidget& window);

// Saves a picture of the widget as screenshots/<name>.png in the build folder.
void SaveScreenshot(QWidget& widget, const QString& name);

// Runs the action, answering each message box it opens with OK, and returns
// the boxes' texts, an error box's marked "error: "; saves a picture of the
// first box when given a name. Every box must be the window's, titled with its
// caption, with one button and not under the wait cursor.
QStringList Answering(const std::function<void()>& action, QString screenshot = {});
// Clicks the control; returns the texts of the boxes that opened meanwhile.
QStringList Press(const QWidget& window, const QString& control = "Command1", const QString& screenshot = {});
// Types the port over Text1's selected text, then presses Command1.
QStringList TypeAndPress(const QWidget& window, const QString& port);
