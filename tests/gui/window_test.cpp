// Both programs' windows, offscreen, on a private tree whose server program is
// a stand-in: how they look and start, and how they refuse, apply and end.
#include <QApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

#include "program.h"
#include "qt_support.h"

namespace {

// A private tree: httpd.conf and a stand-in httpd that appends its arguments
// to service.log, one line per run.
struct Server {
  explicit Server(const QByteArray& config) {
    QVERIFY(WriteAll(dir.filePath("httpd.conf"), config));
    const QByteArray log = dir.filePath("service.log").toUtf8();
    QVERIFY(WriteAll(dir.filePath("httpd"), "#!/bin/sh\necho \"$*\" >> '" + log + "'\n"));
    QFile(dir.filePath("httpd")).setPermissions(QFile::ReadOwner | QFile::ExeOwner);
  }
  ServerTree tree() const { return {dir.filePath("httpd.conf").toStdString(), dir.filePath("httpd").toStdString()}; }
  QTemporaryDir dir;
};

// Counts the times a widget is shown.
class ShowCounter : public QObject {
 public:
  explicit ShowCounter(QWidget& widget) { widget.installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* event) override { return count += event->type() == QEvent::Show, false; }
  int count = 0;
};

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void window_data();
  void window();
  void run_data();
  void run();
};

void WindowTest::window_data() {
  QTest::addColumn<QString>("program");
  QTest::addColumn<QStringList>("controls");  // "name kind container", sorted
  QTest::addColumn<QVariantMap>("placed");    // a few controls' geometry
  QTest::addColumn<QStringList>("tabChain");  // once round from where the focus starts
  QTest::addColumn<QString>("title");
  QTest::addColumn<QSize>("size");
  QTest::addColumn<int>("frame");  // which of the title, close box, min/max boxes and frame it has
  QTest::newRow("portsetup")
      << "portsetup"
      << QStringList{"Command1 QPushButton Form1", "Label1 QLabel Form1", "Label2 QLabel Form1",
                     "Label3 QLabel Picture1", "Label4 QLabel Picture1", "Line1 gui::Line Form1",
                     "Line2 gui::Line Form1", "List1 QListWidget Form1", "Picture1 QLabel Form1",
                     "Text1 QLineEdit Form1"}
      << QVariantMap{{"Label3", QRect(40, 32, 393, 25)}, {"List1", QRect(248, 112, 177, 139)},
                     {"Command1", QRect(392, 320, 81, 25)}}
      << QStringList{"Text1", "Command1", "List1", "Text1"} << QStringLiteral(u"設定Apache 通訊埠") << QSize(496, 353)
      << int(Qt::FramelessWindowHint);
  QTest::newRow("portchange")
      << "portchange"
      << QStringList{"Command1 QPushButton Form1", "Command2 QPushButton Form1", "Label1 QLabel Form1",
                     "Label2 QLabel Form1", "List1 QListWidget Form1", "Text1 QLineEdit Form1"}
      << QVariantMap{{"Text1", QRect(24, 32, 84, 25)}, {"Command2", QRect(224, 32, 65, 33)},
                     {"List1", QRect(16, 96, 281, 124)}}
      << QStringList{"Text1", "Command1", "List1", "Command2", "Text1"} << "Setup Web Service Port"
      << QSize(311, 248) << int(Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
}

void WindowTest::window() {
  QFETCH(QString, program);
  QFETCH(QStringList, controls);
  QFETCH(QVariantMap, placed);
  QFETCH(QStringList, tabChain);
  QFETCH(QString, title);
  QFETCH(QSize, size);
  QFETCH(int, frame);
  // A port with its address is longer than the box lets the user type.
  const Server server("ServerName here\nListen 80\nListen 127.0.0.1:88\n");
  const auto window = MakeWindow(program, server.tree());

  QStringList found;
  for (QWidget* control : window->findChildren<QWidget*>())
    if (!control->objectName().isEmpty() && !control->objectName().startsWith("qt_"))
      found << control->objectName() + ' ' + control->metaObject()->className() + ' ' +
                   control->parentWidget()->objectName();
  found.sort();
  QCOMPARE(found, controls);
  for (const QString& name : placed.keys()) QCOMPARE(Control(*window, name)->geometry(), placed[name].toRect());
  for (auto* button : window->findChildren<QPushButton*>()) QVERIFY(!button->isDefault() && !button->autoDefault());
  QCOMPARE(window->windowTitle(), title);
  const int frameHints = Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint |
                         Qt::WindowMaximizeButtonHint | Qt::FramelessWindowHint;
  QCOMPARE(int(window->windowFlags() & frameHints), frame);
  QCOMPARE(window->minimumSize(), size);
  QCOMPARE(window->maximumSize(), size);
  QVERIFY(!window->windowIcon().pixmap(32).isNull());

  QCOMPARE(gui::StartProgram(*window), std::nullopt);
  QVERIFY(QTest::qWaitForWindowActive(window.get()));
  QCOMPARE(PortBox(*window)->text(), QStringLiteral("88"));
  QCOMPARE(window->frameGeometry().center(), window->screen()->availableGeometry().center());
  QCOMPARE(QApplication::overrideCursor(), nullptr);
  SaveScreenshot(*window, program);
  QStringList chain{QApplication::focusWidget()->objectName()};
  while (chain.size() < tabChain.size()) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    chain << QApplication::focusWidget()->objectName();
  }
  QCOMPARE(chain, tabChain);
  PortBox(*window)->clear();
  QTest::keyClicks(PortBox(*window), "1234567");
  QCOMPARE(PortBox(*window)->text(), QStringLiteral("12345"));
}

void WindowTest::run_data() {
  QTest::addColumn<QString>("program");
  QTest::addColumn<QString>("broken");   // what of the tree is missing or unreadable
  QTest::addColumn<QString>("port");     // "new": one not in use
  QTest::addColumn<QString>("action");   // a button or "close"; empty: start-up ends the program
  QTest::addColumn<QString>("message");  // its start; empty: no box
  QTest::addColumn<int>("exitCode");     // -1: still running
  QTest::addColumn<QByteArray>("commands");
  auto row = [](const char* tag, const char* program, const char* broken, const char* port, const char* action,
                const char* message, int exitCode, const char* commands) {
    QTest::newRow(tag) << program << broken << port << action << message << exitCode << QByteArray(commands);
  };
  row("setup, no file", "portsetup", "no file", "", "", "Can't find httpd.conf!", 0, "");
  row("change, no file", "portchange", "no file", "", "", "Can't find httpd.conf!", 0, "");
  row("change, unreadable file", "portchange", "unreadable", "", "", "error: Could not read the ports.", 1, "");
  row("setup, not a number", "portsetup", "", "abc", "Command1", "Must be number.", -1, "");
  row("change, unchanged", "portchange", "", "80", "Command1", "Not change.", -1, "");
  row("setup, applied", "portsetup", "", "new", "Command1", "", 0, "-k install\n-k start\n");
  row("change, applied", "portchange", "", "new", "Command1", "", 0, "-k stop\n-k start\n");
  row("change, Exit", "portchange", "", "new", "Command2", "", 0, "");
  row("change, close box", "portchange", "", "new", "close", "", 0, "");
  row("setup, close box", "portsetup", "", "new", "close", "", 0, "");
  row("change, no server", "portchange", "no program", "new", "Command1", "error: Could not change the port.", 1, "");
}

void WindowTest::run() {
  QFETCH(QString, program);
  QFETCH(QString, broken);
  QFETCH(QString, port);
  QFETCH(QString, action);
  QFETCH(QString, message);
  QFETCH(int, exitCode);
  QFETCH(QByteArray, commands);
  const Server server("Listen 80\n");
  ServerTree tree = server.tree();
  if (broken == "no file") tree.configFile = "/nonexistent/httpd.conf";
  // A regular file the kernel refuses to read from its start.
  if (broken == "unreadable") tree.configFile = "/proc/self/mem";
  if (broken == "no program") tree.serverProgram = "/nonexistent/httpd";
  const auto window = MakeWindow(program, tree);
  const ShowCounter shown(*window);
  int endings = 0;
  connect(window.get(), &gui::PortWindow::ended, [&endings] { ++endings; });
  std::optional<int> started;
  const QStringList texts = Answering([&] {
    started = gui::StartProgram(*window);
    if (port == "new")  // one the probe did not list, so that a request for it is not refused
      for (int number = 8081; port == "new" || ListedPorts(*window).contains(port); ++number)
        port = QString::number(number);
    PortBox(*window)->setText(port);
    if (action == "close")
      window->close();
    else if (!action.isEmpty())
      QTest::mouseClick(Control(*window, action), Qt::LeftButton);
  }, program + "-message");

  QCOMPARE(started.value_or(-1), action.isEmpty() ? exitCode : -1);
  QCOMPARE(texts.size(), message.isEmpty() ? 0 : 1);
  if (!message.isEmpty()) {
    QVERIFY2(texts[0].startsWith(message), qPrintable(texts[0]));
    // An error box names what failed.
    const std::string& failed = broken == "no program" ? tree.serverProgram : tree.configFile;
    QCOMPARE(texts[0].contains(QString::fromStdString(failed)), exitCode == 1);
  }
  QCOMPARE(window->exitCode().value_or(-1), exitCode);
  QCOMPARE(endings, exitCode < 0 ? 0 : 1);
  QCOMPARE(shown.count, action.isEmpty() ? 0 : 1);
  QCOMPARE(window->isVisible(), exitCode < 0);
  if (exitCode < 0) QVERIFY(Control(*window, "Command1")->isEnabled());
  QCOMPARE(QApplication::overrideCursor(), nullptr);
  const bool written = action == "Command1" && exitCode >= 0;
  QCOMPARE(ReadAll(server.dir.filePath("httpd.conf")), "Listen " + (written ? port : "80").toLatin1() + "\n");
  QCOMPARE(ReadAll(server.dir.filePath("service.log")), commands);
}

QTEST_MAIN(WindowTest)
#include "window_test.moc"
