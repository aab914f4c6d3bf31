#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "portchange/form1.h"
#include "portsetup/form1.h"
#include "program.h"

namespace {

// A private server tree: conf/httpd.conf and a stand-in bin/httpd that
// appends its arguments to service.log, one line per run.
class Server {
 public:
  explicit Server(const QByteArray& config) {
    QDir(dir_.path()).mkpath("conf");
    QDir(dir_.path()).mkpath("bin");
    Write("conf/httpd.conf", config);
    Write("bin/httpd", "#!/bin/sh\necho \"$*\" >> '" + dir_.filePath("service.log").toUtf8() + "'\n");
    QFile(dir_.filePath("bin/httpd")).setPermissions(QFile::ReadOwner | QFile::ExeOwner);
  }
  ServerTree tree() const {
    return {dir_.filePath("conf/httpd.conf").toStdString(), dir_.filePath("bin/httpd").toStdString()};
  }
  QByteArray Read(const QString& name) const {
    QFile file(dir_.filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

 private:
  void Write(const QString& name, const QByteArray& contents) const {
    QFile file(dir_.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
  }
  QTemporaryDir dir_;
};

void SaveScreenshot(QWidget& widget, const QString& name) {
  QDir().mkpath(SCREENSHOT_DIR);
  QVERIFY(widget.grab().save(SCREENSHOT_DIR "/" + name + ".png"));
}

// Answers each modal message box with OK while it lives and keeps its text,
// marked "error: " for an error box; saves a picture of the first one when
// given a name. Every box must be the window's, titled with its caption, with
// one button and not under the wait cursor.
class BoxAnswerer : public QObject {
 public:
  explicit BoxAnswerer(const QString& screenshot = {}) : screenshot_(screenshot) {
    connect(&timer_, &QTimer::timeout, this, &BoxAnswerer::Answer);
    timer_.start(10);
  }
  QStringList texts;

 private:
  void Answer() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    texts << (box->icon() == QMessageBox::Critical ? "error: " : "") + box->text();
    if (!screenshot_.isEmpty()) SaveScreenshot(*box, std::exchange(screenshot_, {}));
    const QCursor* cursor = QApplication::overrideCursor();
    const bool busy = cursor && cursor->shape() == Qt::WaitCursor;
    const auto buttons = box->buttons().size();
    box->button(QMessageBox::Ok)->click();
    QVERIFY(!busy);
    QCOMPARE(buttons, 1);
    QVERIFY(qobject_cast<gui::PortWindow*>(box->parentWidget()));
    QCOMPARE(box->windowTitle(), box->parentWidget()->windowTitle());
  }
  QTimer timer_;
  QString screenshot_;
};

// Counts the times a widget is shown.
class ShowCounter : public QObject {
 public:
  explicit ShowCounter(QWidget& widget) { widget.installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* event) override { return count += event->type() == QEvent::Show, false; }
  int count = 0;
};

std::unique_ptr<gui::PortWindow> MakeWindow(const QString& program, const ServerTree& tree) {
  if (program == "portsetup") return std::make_unique<portsetup::Form1>(tree);
  return std::make_unique<portchange::Form1>(tree);
}

QWidget* Control(QWidget& window, const QString& name) {
  auto* control = window.findChild<QWidget*>(name);
  if (!control) qFatal("no control %s", qPrintable(name));
  return control;
}

QLineEdit* PortBox(QWidget& window) { return qobject_cast<QLineEdit*>(Control(window, "Text1")); }

// A port the probe did not list, so that a request for it is not refused.
QString UnusedPort(QWidget& window) {
  const auto* list = qobject_cast<QListWidget*>(Control(window, "List1"));
  for (int port = 8081;; ++port)
    if (list->findItems(QString::number(port), Qt::MatchExactly).isEmpty()) return QString::number(port);
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void form_data();
  void form();
  void startUp_data();
  void startUp();
  void startUpEnds_data();
  void startUpEnds();
  void request_data();
  void request();
};

// A control as "name kind container", or with its place and font as
// "name left,top,width,height points [bold]".
QString Describe(QWidget& control, bool placed) {
  const QRect r = control.geometry();
  if (!placed)
    return control.objectName() + ' ' + control.metaObject()->className() + ' ' + control.parentWidget()->objectName();
  return QString("%1 %2,%3,%4,%5 %6%7")
      .arg(control.objectName())
      .arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height())
      .arg(control.font().pointSizeF())
      .arg(control.font().bold() ? " bold" : "");
}

void WindowTest::form_data() {
  QTest::addColumn<QString>("program");
  QTest::addColumn<QStringList>("controls");
  QTest::addColumn<QStringList>("placed");  // a few, to check
  QTest::addColumn<QString>("title");
  QTest::addColumn<QSize>("size");
  QTest::addColumn<int>("present");
  QTest::addColumn<int>("absent");
  const int minMax = Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint;
  QTest::newRow("portsetup")
      << "portsetup"
      << QStringList{"Command1 QPushButton Form1", "Label1 QLabel Form1", "Label2 QLabel Form1",
                     "Label3 QLabel Picture1", "Label4 QLabel Picture1", "Line1 gui::Line Form1",
                     "Line2 gui::Line Form1", "List1 QListWidget Form1", "Picture1 QLabel Form1",
                     "Text1 QLineEdit Form1"}
      << QStringList{"Label4 24,8,153,17 9 bold", "Label3 40,32,393,25 8.25", "List1 248,112,177,139 9",
                     "Line1 0,312,496,1", "Command1 392,320,81,25 8.25"}
      << QStringLiteral(u"設定Apache 通訊埠") << QSize(496, 353) << int(Qt::FramelessWindowHint) << minMax;
  QTest::newRow("portchange")
      << "portchange"
      << QStringList{"Command1 QPushButton Form1", "Command2 QPushButton Form1", "Label1 QLabel Form1",
                     "Label2 QLabel Form1", "List1 QListWidget Form1", "Text1 QLineEdit Form1"}
      << QStringList{"Text1 24,32,84,25 9", "Command2 224,32,65,33 9", "List1 16,96,281,124 9"}
      << "Setup Web Service Port" << QSize(311, 248) << int(Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
      << int(minMax | Qt::FramelessWindowHint);
}

void WindowTest::form() {
  QFETCH(QString, program);
  QFETCH(QStringList, controls);
  QFETCH(QStringList, placed);
  QFETCH(QString, title);
  QFETCH(QSize, size);
  QFETCH(int, present);
  QFETCH(int, absent);
  const auto window = MakeWindow(program, InstalledServerTree());

  QStringList found;
  for (QWidget* control : window->findChildren<QWidget*>())
    if (!control->objectName().isEmpty() && !control->objectName().startsWith("qt_")) found << Describe(*control, false);
  found.sort();
  QCOMPARE(found, controls);
  for (const QString& expected : placed)  // lines have no font to check
    QCOMPARE(Describe(*Control(*window, expected.section(' ', 0, 0)), true).left(expected.size()), expected);
  for (auto* button : window->findChildren<QPushButton*>()) QVERIFY(!button->isDefault() && !button->autoDefault());

  QCOMPARE(window->windowTitle(), title);
  QCOMPARE(int(window->windowFlags() & (present | absent)), present);
  QCOMPARE(window->minimumSize(), size);
  QCOMPARE(window->maximumSize(), size);
  QVERIFY(!window->windowIcon().pixmap(32).isNull());
}

void WindowTest::startUp_data() {
  QTest::addColumn<QString>("program");
  QTest::addColumn<QStringList>("tabChain");
  QTest::newRow("portsetup") << "portsetup" << QStringList{"Command1", "List1", "Text1"};
  QTest::newRow("portchange") << "portchange" << QStringList{"Command1", "List1", "Command2", "Text1"};
}

void WindowTest::startUp() {
  QFETCH(QString, program);
  QFETCH(QStringList, tabChain);
  // A port with its address is longer than the box lets the user type.
  const Server server("ServerName here\nListen 80\nListen 127.0.0.1:88\n");
  const auto window = MakeWindow(program, server.tree());

  QCOMPARE(gui::StartProgram(*window), std::nullopt);
  QVERIFY(QTest::qWaitForWindowActive(window.get()));
  QCOMPARE(PortBox(*window)->text(), QStringLiteral("127.0.0.1:88"));
  QCOMPARE(window->frameGeometry().center(), window->screen()->availableGeometry().center());
  QCOMPARE(QApplication::overrideCursor(), nullptr);
  SaveScreenshot(*window, program);

  QCOMPARE(QApplication::focusWidget(), PortBox(*window));
  QStringList chain;
  for (int i = 0; i < tabChain.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    chain << QApplication::focusWidget()->objectName();
  }
  QCOMPARE(chain, tabChain);
  QTest::keyClick(PortBox(*window), Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(PortBox(*window), Qt::Key_Backspace);
  QTest::keyClicks(PortBox(*window), "1234567");
  QCOMPARE(PortBox(*window)->text(), QStringLiteral("12345"));
}

void WindowTest::startUpEnds_data() {
  QTest::addColumn<QString>("program");
  QTest::addColumn<QString>("configFile");
  QTest::addColumn<QString>("message");  // its start
  QTest::addColumn<int>("exitCode");
  const QString missing = "/nonexistent/httpd.conf";
  QTest::newRow("portsetup, no file") << "portsetup" << missing << "Can't find httpd.conf!" << 0;
  QTest::newRow("portchange, no file") << "portchange" << missing << "Can't find httpd.conf!" << 0;
  // A regular file the kernel refuses to read from its start.
  QTest::newRow("portchange, unreadable") << "portchange" << "/proc/self/mem"
                                          << "error: Could not read the ports." << 1;
}

void WindowTest::startUpEnds() {
  QFETCH(QString, program);
  QFETCH(QString, configFile);
  QFETCH(QString, message);
  QFETCH(int, exitCode);
  const auto window = MakeWindow(program, {configFile.toStdString(), "/nonexistent/httpd"});
  const ShowCounter shown(*window);
  const BoxAnswerer answerer;

  QCOMPARE(gui::StartProgram(*window), exitCode);
  QCOMPARE(window->exitCode(), exitCode);
  QCOMPARE(shown.count, 0);
  QCOMPARE(answerer.texts.size(), 1);
  QVERIFY2(answerer.texts[0].startsWith(message) && answerer.texts[0].contains(configFile) == bool(exitCode),
           qPrintable(answerer.texts[0]));
}

void WindowTest::request_data() {
  QTest::addColumn<QString>("program");
  QTest::addColumn<QString>("port");  // "new": one not in use
  QTest::addColumn<QString>("action");
  QTest::addColumn<QString>("message");  // its start; empty: no box
  QTest::addColumn<int>("exitCode");     // -1: still running
  QTest::addColumn<QByteArray>("commands");
  auto row = [](const char* tag, const char* program, const char* port, const char* action, const char* message,
                int exitCode, const char* commands) {
    QTest::newRow(tag) << program << port << action << message << exitCode << QByteArray(commands);
  };
  row("setup, not a number", "portsetup", "abc", "Command1", "Must be number.", -1, "");
  row("setup, out of range", "portsetup", "70000", "Command1", "Must be 0~65536", -1, "");
  row("change, unchanged", "portchange", "80", "Command1", "Not change.", -1, "");
  row("setup, applied", "portsetup", "new", "Command1", "", 0, "-k install\n-k start\n");
  row("change, applied", "portchange", "new", "Command1", "", 0, "-k stop\n-k start\n");
  row("change, Exit", "portchange", "new", "Command2", "", 0, "");
  row("change, close box", "portchange", "new", "close", "", 0, "");
  row("setup, closed", "portsetup", "new", "close", "", 0, "");
  row("change, no server program", "portchange", "new", "Command1", "error: Could not change the port.", 1, "");
}

void WindowTest::request() {
  QFETCH(QString, program);
  QFETCH(QString, port);
  QFETCH(QString, action);
  QFETCH(QString, message);
  QFETCH(int, exitCode);
  QFETCH(QByteArray, commands);
  const Server server("Listen 80\n");
  if (exitCode == 1) QVERIFY(QFile::remove(QString::fromStdString(server.tree().serverProgram)));
  const auto window = MakeWindow(program, server.tree());
  int endings = 0;
  connect(window.get(), &gui::PortWindow::ended, [&endings] { ++endings; });
  gui::StartProgram(*window);
  if (port == "new") port = UnusedPort(*window);
  PortBox(*window)->setText(port);
  const BoxAnswerer answerer(program + "-message");

  if (action == "close")
    window->close();
  else
    QTest::mouseClick(Control(*window, action), Qt::LeftButton);
  QCOMPARE(answerer.texts.size(), message.isEmpty() ? 0 : 1);
  if (!message.isEmpty()) QVERIFY2(answerer.texts[0].startsWith(message), qPrintable(answerer.texts[0]));
  QCOMPARE(window->exitCode().value_or(-1), exitCode);
  QCOMPARE(endings, exitCode < 0 ? 0 : 1);
  QCOMPARE(window->isVisible(), exitCode < 0);
  QCOMPARE(Control(*window, "Command1")->isEnabled(), exitCode < 0 || action != "Command1");
  QCOMPARE(QApplication::overrideCursor(), nullptr);
  const bool written = action == "Command1" && exitCode >= 0;
  QCOMPARE(server.Read("conf/httpd.conf"), "Listen " + (written ? port : "80").toLatin1() + "\n");
  QCOMPARE(server.Read("service.log"), commands);
}

QTEST_MAIN(WindowTest)
#include "window_test.moc"
