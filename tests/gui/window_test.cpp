// Both windows, offscreen, as their user meets them: how they open, take a port, show a box and end.
#include <QAccessible>
#include <QMessageBox>
#include <QtTest>
#include <csignal>
#include <optional>

#include "exit_code.h"
#include "port_window.h"
#include "portchange/form1_layout.h"
#include "portsetup/form1_layout.h"
#include "test_sockets.h"
#include "test_support.h"

namespace {

QWidget* Control(const QWidget& window, const char* name) { return window.findChild<QWidget*>(name); }

QLineEdit* PortBox(const QWidget& window) { return qobject_cast<QLineEdit*>(Control(window, "Text1")); }

void SaveScreenshot(QWidget& widget, const QString& name) {
  QDir().mkpath(SCREENSHOT_DIR);
  QVERIFY(widget.grab().save(SCREENSHOT_DIR "/" + name + ".png"));
}

// Runs the action, answering each box it opens with OK; returns their texts (an error box's marked, with its
// details) and saves a picture of the first. A box must fit on the screen, or its button is out of reach.
QStringList Answering(const std::function<void()>& action, QString screenshot) {
  QStringList texts;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    texts << (box->icon() == QMessageBox::Critical ? "error: " : "") + box->text() +
                 (box->detailedText().isEmpty() ? "" : "\n\ndetails: " + box->detailedText());
    if (!screenshot.isEmpty()) SaveScreenshot(*box, std::exchange(screenshot, {}));
    if (qEnvironmentVariable("PORTCFG_END_AT") == "box") raise(SIGTERM);
    const bool fits = box->screen()->availableGeometry().contains(box->frameGeometry());
    box->button(QMessageBox::Ok)->click();
    QVERIFY(fits);
  });
  timer.start(10);
  action();
  return texts;
}

// What portchange does on a port typed in (none: a port nothing uses).
struct EndCase {
  const char* name;
  const char* shell;  // bin/httpd's lines
  const char* typed;
  const char* action;  // a button; none: start-up ends the program
  const char* box;     // its box ("*": any text); none: no box
  int exitCode;        // -1: the program goes on, its port box ready for another port
};

const EndCase kEndCases[] = {
    {"refusal-box", "", "x", "Command1", "Must be number.", -1},
    {"exit", "", nullptr, "Command2", "", gui::kNotApplied},
    {"second copy", "", nullptr, "", "Another copy of portsetup or portchange is already open.", gui::kNotApplied},
    // Asked by the server program to end during a change, which fails: it ends as the change is over, with no box.
    {"SIGTERM", "[ \"$1\" != -k ] || kill -TERM $PPID; exit 0", nullptr, "Command1", "", gui::kFailed},
    // A NUL in the output does not end the details.
    {"error-box", "seq -f \"line %g $(printf 'word %.0s' $(seq 60))end\" 10 | tr 9 '\\000'; exit 1", nullptr,
     "Command1",
     "error: Could not change the port.\n\n*\n    (and 4 more lines)*\n\ndetails: line 1 word*line 10 word*end\n",
     gui::kFailed},
};

// Where a row of `ends` is told to end (SIGTERM): at its box or at the window waiting for the user.
struct SignalCase {
  const char* name;
  const char* row;
  const char* at;  // "box" or "idle"
  int exitCode;
};

const SignalCase kSignalCases[] = {
    {"at the idle window", "exit", "idle", gui::kNotApplied},
    {"at a refusal", "refusal-box", "box", gui::kNotApplied},
    {"at another copy's box", "second copy", "box", gui::kNotApplied},
    {"at the error box", "error-box", "box", gui::kFailed},
};

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  // The port opens selected, shown from its first character; typing over it takes five characters, and Tab
  // moves on to the apply button. A screen reader names each box by its label, each button by its caption.
  void layout() {
    const struct {
      const gui::FormLayout& layout;
      const char* config;
      QString shown, typed, text;
      QString names;  // of Text1, List1 and the buttons
    } rows[] = {
        {portsetup::kForm1Layout, "ServerRoot x\n", "Text1", "8123456", "81234", "Port :|below number don't use.|Next"},
        // Cut to five characters, the port would read "00080".
        {portchange::kForm1Layout, "Listen 0008080\n", "0008080", "81", "81",
         "Port :|Below number don't use.|Change|Exit"}};
    for (const auto& row : rows) {
      const TestTree server;
      WriteFile(server.tree.configFile, row.config);
      gui::PortWindow window(row.layout, server.tree);
      QCOMPARE(window.Open(), std::nullopt);
      QVERIFY(QTest::qWaitForWindowActive(&window));
      SaveScreenshot(window, &row == rows ? "portsetup" : "portchange");
      QLineEdit* box = PortBox(window);
      QCOMPARE(QApplication::focusWidget(), box);
      QCOMPARE(box->selectedText(), row.shown);
      QCOMPARE(box->cursorPosition(), 0);
      QTest::keyClicks(box, row.typed);
      QCOMPARE(box->text(), row.text);
      QTest::keyClick(box, Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget(), Control(window, "Command1"));
      QStringList names;
      for (const char* control : {"Text1", "List1", "Command1", "Command2"})
        if (QWidget* named = Control(window, control))
          names << QAccessible::queryAccessibleInterface(named)->text(QAccessible::Name);
      QCOMPARE(names.join('|'), row.names);
    }
  }

  void ends_data() {
    QTest::addColumn<int>("row");
    for (const EndCase& c : kEndCases) QTest::newRow(c.name) << int(&c - kEndCases);
  }

  // Its box and code.
  void ends() {
    QFETCH(int, row);
    const EndCase& c = kEndCases[row];
    TestTree server("80", c.shell);
    server.tree.portWait = std::chrono::milliseconds(300);
    const QString typed = c.typed ? c.typed : QString::number(TestSocket(AF_INET, SOCK_STREAM).port());
    std::optional<gui::PortWindow> first;
    if (!*c.action) first.emplace(portchange::kForm1Layout, server.tree);
    gui::PortWindow window(portchange::kForm1Layout, server.tree);
    const QStringList boxes = Answering(
        [&] {
          if (window.Open()) return;
          if (qEnvironmentVariable("PORTCFG_END_AT") == "idle") raise(SIGTERM);
          PortBox(window)->setText(typed);
          QTest::mouseClick(Control(window, c.action), Qt::LeftButton);
        },
        c.name);
    QCOMPARE(boxes.size(), *c.box ? 1 : 0);
    QVERIFY2(!*c.box || Matches(boxes[0].toStdString(), c.box), qPrintable(boxes.join("")));
    QCOMPARE(window.exitCode().value_or(-1), c.exitCode);
    if (window.exitCode()) return;
    QVERIFY(Control(window, "Command1")->isEnabled());
    QTRY_COMPARE(QApplication::focusWidget(), PortBox(window));
    QCOMPARE(PortBox(window)->selectedText(), typed);
  }

  void endedBySignal_data() {
    QTest::addColumn<int>("row");
    for (const SignalCase& c : kSignalCases) QTest::newRow(c.name) << int(&c - kSignalCases);
  }

  // Told to end (SIGTERM) where the user might, a row of `ends` ends as a close would, or with its error box's
  // code; never by the signal.
  void endedBySignal() {
    QFETCH(int, row);
    const SignalCase& c = kSignalCases[row];
    QProcess child;
    child.setEnvironment(QProcess::systemEnvironment() << QString("PORTCFG_END_AT=") + c.at);
    child.start(QCoreApplication::applicationFilePath(), {QString("ends:") + c.row});
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(std::pair(child.exitStatus(), child.exitCode()), std::pair(QProcess::NormalExit, c.exitCode));
  }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
