// Both programs' windows, offscreen, on a private tree whose server program is
// a stand-in: how they are laid out and open, and how they refuse, apply and end.
#include <QApplication>
#include <QScreen>
#include <QtTest>
#include <filesystem>
#include <map>
#include <sys/socket.h>

#include "posix_support.h"
#include "program_end.h"
#include "qt_support.h"
#include "refusal_cases.h"
#include "test_support.h"

namespace {

// A private tree: httpd.conf and the stand-in server program, which logs its runs.
struct Server {
  explicit Server(const std::string& config) {
    WriteFile(tree.configFile, config);
    std::filesystem::copy_file(STAND_IN_SERVER, tree.serverProgram);
  }
  QByteArray config() const { return QByteArray::fromStdString(ReadFile(tree.configFile)); }
  QByteArray commands() const { return QByteArray::fromStdString(ReadFileIfAny(tree.serverProgram + ".log")); }

  TempDir dir;
  ServerTree tree{dir / "httpd.conf", dir / "httpd"};
};

const char* ProgramOf(ApplyMode mode) { return mode == ApplyMode::Setup ? "portsetup" : "portchange"; }

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void layout_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QString>("typed");  // over the port, selected on opening
    QTest::addColumn<QString>("text");
    QTest::newRow("portsetup") << "portsetup" << QByteArray("Listen 80\n") << "8123456" << "81234";
    // Cut to five characters, the file's port would read "00080".
    QTest::newRow("portchange") << "portchange" << QByteArray("Listen 0008080\n") << "81" << "81";
  }

  // The window shows its table (every control, the tab chain, frame, size and
  // icon) and opens centred, with the port selected in the port box.
  void layout() {
    QFETCH(QString, program);
    QFETCH(QByteArray, config);
    QFETCH(QString, typed);
    QFETCH(QString, text);
    const gui::FormLayout& layout = Layout(program);
    const Server server(config.toStdString());
    gui::PortWindow window(layout, server.tree);

    const char* const classOfKind[] = {"QLabel", "QLabel", "QLineEdit", "QListWidget", "QPushButton", "QWidget"};
    std::map<int, QString> tabChain;
    for (const gui::ControlLayout& c : layout.controls) {
      const QWidget* control = Control(window, c.name);
      // A line is drawn one pixel thick.
      const QRect place(c.place.left / 15, c.place.top / 15, c.place.width / 15, std::max(c.place.height / 15, 1));
      QCOMPARE(control->geometry(), place);
      QCOMPARE(control->metaObject()->className(), classOfKind[int(c.kind)]);
      QCOMPARE(control->parentWidget()->objectName(), c.container);
      QCOMPARE(control->font().family(), "Arial");
      QCOMPARE(control->font().pointSizeF(), c.font.points);
      QCOMPARE(control->font().bold(), c.font.bold);
      QCOMPARE(control->property("text").toString(), QString::fromUtf8(c.text));
      if (gui::TakesFocus(c.kind)) tabChain[c.tabIndex] = c.name;
    }
    QCOMPARE(window.windowTitle(), QString::fromUtf8(layout.caption));
    const auto frame = Qt::FramelessWindowHint | Qt::WindowTitleHint | Qt::WindowMinMaxButtonsHint |
                       Qt::WindowCloseButtonHint;
    QCOMPARE(window.windowFlags() & frame, layout.frame == gui::Frame::None
                                                ? Qt::FramelessWindowHint
                                                : Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    QCOMPARE(window.minimumSize(), QSize(layout.width / 15, layout.height / 15));
    QCOMPARE(window.maximumSize(), window.minimumSize());
    QVERIFY(!window.windowIcon().pixmap(32).isNull());

    QCOMPARE(window.Open(), std::nullopt);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QCOMPARE(window.frameGeometry().center(), window.screen()->availableGeometry().center());
    SaveScreenshot(window, program);
    QLineEdit* box = PortBox(window);
    QCOMPARE(QApplication::focusWidget(), box);
    QCOMPARE(box->selectedText(), QString(config).section(' ', 1).trimmed());
    QCOMPARE(box->cursorPosition(), 0);
    QTest::keyClicks(box, typed);
    QCOMPARE(box->text(), text);
    // Once round the chain, from the port box and back to it.
    QStringList chain, walked;
    for (const auto& [index, name] : tabChain) {
      chain << name;
      walked << QApplication::focusWidget()->objectName();
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(walked, chain);
    QCOMPARE(QApplication::focusWidget(), box);
  }

  void refusals_data() {
    QTest::addColumn<int>("row");
    for (const RefusalCase& c : kRefusalCases)
      QTest::addRow("%d %s '%s'", int(&c - kRefusalCases), ProgramOf(c.mode), c.typed) << int(&c - kRefusalCases);
  }

  // One box, then the window waits again with the port box ready for the next port.
  void refusals() {
    QFETCH(int, row);
    const RefusalCase& c = kRefusalCases[row];
    const Listener used(AF_INET);
    const std::string port = std::to_string(used.port());
    const Server server(WithPort(c.config, port));
    gui::PortWindow window(Layout(ProgramOf(c.mode)), server.tree);
    QCOMPARE(window.Open(), std::nullopt);
    // Put in as start-up would: some texts are longer than a user may type.
    window.SetPortText(WithPort(c.typed, port));
    QCOMPARE(Press(window, "Command1", row == 0 ? "refusal-box" : ""), QStringList{c.message});
    QVERIFY(Control(window, "Command1")->isEnabled());
    QTRY_COMPARE(QApplication::focusWidget(), PortBox(window));
    QCOMPARE(PortBox(window)->selectedText(), QString::fromStdString(WithPort(c.typed, port)));
    QCOMPARE(server.config(), QByteArray::fromStdString(WithPort(c.config, port)));
    QCOMPARE(server.commands(), "");
  }

  void exitCodes_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("broken");   // what of the tree is missing or unreadable
    QTest::addColumn<QString>("action");   // a button or "close"; empty: start-up ends the program
    QTest::addColumn<QString>("message");  // its start; empty: no box
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("commands");
    using namespace gui;
    auto row = [](const char* tag, const char* program, const char* broken, const char* action, const char* message,
                  ExitCode exitCode, const char* commands) {
      QTest::newRow(tag) << program << broken << action << message << int(exitCode) << QByteArray(commands);
    };
    row("setup-applied", "portsetup", "", "Command1", "", kApplied, "<-k> <install>\n<-k> <start>\n");
    row("change-applied", "portchange", "", "Command1", "", kApplied, "<-k> <stop>\n<-k> <start>\n");
    row("error-at-start-up", "portchange", "unreadable", "", "error: Could not read httpd.conf.", kFailed, "");
    row("error-at-change", "portsetup", "no program", "Command1", "error: Could not change the port.", kFailed, "");
    row("missing-file", "portsetup", "no file", "", "Can't find httpd.conf!", kNotApplied, "");
    row("exit", "portchange", "", "Command2", "", kNotApplied, "");
    row("close-box", "portsetup", "", "close", "", kNotApplied, "");
  }

  // How the program ends, with a new port in the box: its code, its box, and
  // what it wrote and ran.
  void exitCodes() {
    QFETCH(QString, program);
    QFETCH(QString, broken);
    QFETCH(QString, action);
    QFETCH(QString, message);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, commands);
    const Server server("Listen 80\n");
    ServerTree tree = server.tree;
    if (broken == "no file") tree.configFile = "/nonexistent/httpd.conf";
    // A regular file the kernel refuses to read from its start.
    if (broken == "unreadable") tree.configFile = "/proc/self/mem";
    if (broken == "no program") tree.serverProgram = "/nonexistent/httpd";
    gui::PortWindow window(Layout(program), tree);
    std::optional<int> started;
    QString port;
    const QStringList texts = Answering([&] {
      started = window.Open();
      if (started) return;
      // One the probe did not list, so that a request for it is not refused.
      for (int number = 8081; port.isEmpty() || ListedPorts(window).contains(port); ++number)
        port = QString::number(number);
      PortBox(window)->setText(port);
      if (action == "close") window.close();
      else QTest::mouseClick(Control(window, action), Qt::LeftButton);
    }, QTest::currentDataTag());

    QCOMPARE(started.has_value(), action.isEmpty());
    QCOMPARE(window.exitCode().value_or(-1), exitCode);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QCOMPARE(texts.size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty()) QVERIFY2(texts[0].startsWith(message), qPrintable(texts[0]));
    // An error box names what failed.
    if (exitCode == gui::kFailed)
      QVERIFY(texts[0].contains(QString::fromStdString(broken == "no program" ? tree.serverProgram : tree.configFile)));
    // What an error leaves in the file is the core's to test.
    else
      QCOMPARE(server.config(), "Listen " + (exitCode == gui::kApplied ? port : "80").toLatin1() + "\n");
    QCOMPARE(server.commands(), commands);
  }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
