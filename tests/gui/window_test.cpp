#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QtTest>
#include <memory>

#include "form_parts.h"
#include "portchange/form1.h"
#include "portsetup/form1.h"
#include "program.h"
#include "window_test_support.h"

namespace {

std::unique_ptr<gui::PortWindow> MakeWindow(const QString& program, const ServerTree& tree) {
  if (program == "portsetup") return std::make_unique<portsetup::Form1>(tree);
  return std::make_unique<portchange::Form1>(tree);
}

QWidget* Control(QWidget& window, const QString& name) {
  auto* control = window.findChild<QWidget*>(name);
  if (!control) qFatal("no control %s", qPrintable(name));
  return control;
}

QPushButton* Button(QWidget& window, const QString& name) {
  return qobject_cast<QPushButton*>(Control(window, name));
}

QLineEdit* PortBox(QWidget& window) { return qobject_cast<QLineEdit*>(Control(window, "Text1")); }

// A port the probe did not list, so the request is not refused as in use.
QString UnusedPort(QWidget& window) {
  const auto* list = qobject_cast<QListWidget*>(Control(window, "List1"));
  for (int port = 8081;; ++port)
    if (list->findItems(QString::number(port), Qt::MatchExactly).isEmpty()) return QString::number(port);
}

void AddProgramRows() {
  QTest::newRow("portsetup") << QStringLiteral("portsetup");
  QTest::newRow("portchange") << QStringLiteral("portchange");
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void controls_data();
  void controls();
  void frame_data();
  void frame();
  void startUp_data() { QTest::addColumn<QString>("program"); AddProgramRows(); }
  void startUp();
  void keyboard_data();
  void keyboard();
  void missingConfig_data() { startUp_data(); }
  void missingConfig();
  void refusal_data();
  void refusal();
  void apply_data();
  void apply();
  void leave_data();
  void leave();
  void startUpError_data() { startUp_data(); }
  void startUpError();
  void changeError();
};

void WindowTest::controls_data() {
  QTest::addColumn<QString>("program");
  QTest::addColumn<QString>("kind");
  QTest::addColumn<QString>("container");
  QTest::addColumn<QRect>("pixels");
  QTest::addColumn<qreal>("points");  // 0: the control has no text of its own
  QTest::addColumn<bool>("bold");
  QTest::addColumn<QString>("text");
  auto row = [](const char* program, const char* name, const char* kind, const char* container, QRect pixels,
                qreal points, bool bold, const char* text) {
    QTest::addRow("%s %s", program, name) << program << kind << container << pixels << points << bold << text;
  };
  row("portsetup", "Picture1", "QLabel", "Form1", {0, 0, 497, 65}, 0, false, "");
  row("portsetup", "Label4", "QLabel", "Picture1", {24, 8, 153, 17}, 9, true, "Setup Port");
  row("portsetup", "Label3", "QLabel", "Picture1", {40, 32, 393, 25}, 8.25, false,
      "Setup Apache web service port , If you don't know please press next.");
  row("portsetup", "Label1", "QLabel", "Form1", {32, 96, 49, 17}, 9, false, "Port :");
  row("portsetup", "Text1", "QLineEdit", "Form1", {32, 120, 148, 25}, 9, false, "Text1");
  row("portsetup", "Label2", "QLabel", "Form1", {248, 88, 153, 17}, 9, false, "below number don't use.");
  row("portsetup", "List1", "QListWidget", "Form1", {248, 112, 177, 139}, 9, false, "");
  row("portsetup", "Line2", "gui::Line", "Form1", {0, 311, 496, 1}, 0, false, "");
  row("portsetup", "Line1", "gui::Line", "Form1", {0, 312, 496, 1}, 0, false, "");
  row("portsetup", "Command1", "QPushButton", "Form1", {392, 320, 81, 25}, 8.25, false, "Next");
  row("portchange", "Label1", "QLabel", "Form1", {24, 16, 49, 17}, 9, false, "Port :");
  row("portchange", "Text1", "QLineEdit", "Form1", {24, 32, 84, 25}, 9, false, "Text1");
  row("portchange", "Command1", "QPushButton", "Form1", {144, 32, 65, 33}, 9, false, "Change");
  row("portchange", "Command2", "QPushButton", "Form1", {224, 32, 65, 33}, 9, false, "Exit");
  row("portchange", "Label2", "QLabel", "Form1", {24, 80, 241, 17}, 9, false, "Below number don't use.");
  row("portchange", "List1", "QListWidget", "Form1", {16, 96, 281, 124}, 9, false, "");
}

void WindowTest::controls() {
  QFETCH(QString, program);
  QFETCH(QString, kind);
  QFETCH(QString, container);
  QFETCH(QRect, pixels);
  QFETCH(qreal, points);
  QFETCH(bool, bold);
  QFETCH(QString, text);
  const QString name = QString(QTest::currentDataTag()).section(' ', 1);
  const auto window = MakeWindow(program, InstalledServerTree());
  QWidget* control = Control(*window, name);

  QCOMPARE(control->metaObject()->className(), kind);
  QCOMPARE(control->parentWidget()->objectName(), container);
  QCOMPARE(control->geometry(), pixels);
  QCOMPARE(control->property("text").toString(), text);
  if (points > 0) {
    QCOMPARE(control->font().family(), QStringLiteral("Arial"));
    QCOMPARE(control->font().pointSizeF(), points);
    QCOMPARE(control->font().bold(), bold);
  }
  if (auto* button = qobject_cast<QPushButton*>(control)) {
    QVERIFY(!button->isDefault());
    QVERIFY(!button->autoDefault());
  }
}

void WindowTest::frame_data() {
  QTest::addColumn<QString>("program");
  QTest::addColumn<QString>("title");
  QTest::addColumn<QSize>("size");
  QTest::addColumn<int>("present");
  QTest::addColumn<int>("absent");
  const int minMax = Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint;
  QTest::newRow("portsetup") << "portsetup" << QStringLiteral(u"設定Apache 通訊埠") << QSize(496, 353)
                             << int(Qt::FramelessWindowHint) << minMax;
  QTest::newRow("portchange") << "portchange" << "Setup Web Service Port" << QSize(311, 248)
                              << int(Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
                              << int(minMax | Qt::FramelessWindowHint);
}

void WindowTest::frame() {
  QFETCH(QString, program);
  QFETCH(QString, title);
  QFETCH(QSize, size);
  QFETCH(int, present);
  QFETCH(int, absent);
  const auto window = MakeWindow(program, InstalledServerTree());

  QCOMPARE(window->windowTitle(), title);
  QCOMPARE(int(window->windowFlags() & present), present);
  QCOMPARE(int(window->windowFlags() & absent), 0);
  QCOMPARE(window->minimumSize(), size);
  QCOMPARE(window->maximumSize(), size);
  QVERIFY(!window->windowIcon().pixmap(32).isNull());
  if (auto* banner = window->findChild<QLabel*>("Picture1")) QCOMPARE(banner->pixmap().size(), QSize(495, 56));
  if (auto* line = window->findChild<gui::Line*>("Line2")) QCOMPARE(line->backgroundRole(), QPalette::Shadow);
  if (auto* line = window->findChild<gui::Line*>("Line1")) QCOMPARE(line->backgroundRole(), QPalette::Light);
}

void WindowTest::startUp() {
  QFETCH(QString, program);
  ServerDir server;
  server.WriteConfig("ServerName here\nListen 80\nListen 127.0.0.1:88\n");
  const auto window = MakeWindow(program, server.tree());

  QCOMPARE(gui::StartProgram(*window), std::nullopt);
  QVERIFY(window->isVisible());
  QCOMPARE(PortBox(*window)->text(), QStringLiteral("127.0.0.1:88"));
  QCOMPARE(window->frameGeometry().center(), window->screen()->availableGeometry().center());
  QCOMPARE(QApplication::overrideCursor(), nullptr);
  SaveScreenshot(*window, program);
}

void WindowTest::keyboard_data() {
  QTest::addColumn<QString>("program");
  QTest::addColumn<QStringList>("tabChain");
  QTest::newRow("portsetup") << "portsetup" << QStringList{"Command1", "List1", "Text1"};
  QTest::newRow("portchange") << "portchange" << QStringList{"Command1", "List1", "Command2", "Text1"};
}

void WindowTest::keyboard() {
  QFETCH(QString, program);
  QFETCH(QStringList, tabChain);
  ServerDir server;
  server.WriteConfig("Listen 80\n");
  const auto window = MakeWindow(program, server.tree());
  gui::StartProgram(*window);
  QVERIFY(QTest::qWaitForWindowActive(window.get()));

  QCOMPARE(QApplication::focusWidget(), PortBox(*window));
  QStringList chain;
  for (int i = 0; i < tabChain.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    chain << QApplication::focusWidget()->objectName();
  }
  QCOMPARE(chain, tabChain);

  PortBox(*window)->clear();
  QTest::keyClicks(PortBox(*window), "1234567");
  QCOMPARE(PortBox(*window)->text(), QStringLiteral("12345"));
}

void WindowTest::missingConfig() {
  QFETCH(QString, program);
  ServerDir server;
  const auto window = MakeWindow(program, server.tree());
  const ShowCounter shown(*window);
  const BoxAnswerer answerer;

  QCOMPARE(gui::StartProgram(*window), 0);
  QCOMPARE(answerer.boxes().size(), 1);
  const SeenBox& box = answerer.boxes().front();
  QCOMPARE(box.text, QStringLiteral("Can't find httpd.conf!"));
  QCOMPARE(box.title, window->windowTitle());
  QCOMPARE(box.buttonCount, 1);
  QCOMPARE(box.owner, window.get());
  QVERIFY(!box.busyCursor);
  QCOMPARE(shown.count(), 0);
  QCOMPARE(window->exitCode(), 0);
}

void WindowTest::refusal_data() {
  QTest::addColumn<QString>("program");
  QTest::addColumn<QString>("port");
  QTest::addColumn<QString>("message");
  QTest::newRow("setup, not a number") << "portsetup" << "abc" << "Must be number.";
  QTest::newRow("setup, out of range") << "portsetup" << "70000" << "Must be 0~65536";
  QTest::newRow("change, unchanged") << "portchange" << "80" << "Not change.";
}

void WindowTest::refusal() {
  QFETCH(QString, program);
  QFETCH(QString, port);
  QFETCH(QString, message);
  ServerDir server;
  server.WriteConfig("Listen 80\n");
  const auto window = MakeWindow(program, server.tree());
  gui::StartProgram(*window);
  PortBox(*window)->setText(port);
  const BoxAnswerer answerer(program + "-message");

  QTest::mouseClick(Button(*window, "Command1"), Qt::LeftButton);
  QCOMPARE(answerer.boxes().size(), 1);
  QCOMPARE(answerer.boxes().front().text, message);
  QCOMPARE(answerer.boxes().front().title, window->windowTitle());
  QCOMPARE(answerer.boxes().front().icon, QMessageBox::NoIcon);
  QVERIFY(!answerer.boxes().front().busyCursor);
  QVERIFY(window->isVisible());
  QVERIFY(Button(*window, "Command1")->isEnabled());
  QCOMPARE(window->exitCode(), std::nullopt);
  QCOMPARE(QApplication::overrideCursor(), nullptr);
  QCOMPARE(server.Config(), QByteArray("Listen 80\n"));
  QCOMPARE(server.ServiceLog(), QByteArray());
}

void WindowTest::apply_data() {
  QTest::addColumn<QString>("program");
  QTest::addColumn<QByteArray>("commands");
  QTest::newRow("portsetup") << "portsetup" << QByteArray("-k install\n-k start\n");
  QTest::newRow("portchange") << "portchange" << QByteArray("-k stop\n-k start\n");
}

void WindowTest::apply() {
  QFETCH(QString, program);
  QFETCH(QByteArray, commands);
  ServerDir server;
  server.WriteConfig("Listen 80\n");
  const auto window = MakeWindow(program, server.tree());
  gui::StartProgram(*window);
  const QString port = UnusedPort(*window);
  PortBox(*window)->setText(port);
  const BoxAnswerer answerer;

  QTest::mouseClick(Button(*window, "Command1"), Qt::LeftButton);
  QCOMPARE(answerer.boxes().size(), 0);
  QVERIFY(!window->isVisible());
  QCOMPARE(window->exitCode(), 0);
  QCOMPARE(QApplication::overrideCursor(), nullptr);
  QCOMPARE(server.Config(), "Listen " + port.toLatin1() + "\n");
  QCOMPARE(server.ServiceLog(), commands);
}

void WindowTest::leave_data() {
  QTest::addColumn<QString>("program");
  QTest::addColumn<bool>("byButton");  // Exit, or the window system's close
  QTest::newRow("portchange Exit") << "portchange" << true;
  QTest::newRow("portchange close box") << "portchange" << false;
  QTest::newRow("portsetup closed") << "portsetup" << false;
}

void WindowTest::leave() {
  QFETCH(QString, program);
  QFETCH(bool, byButton);
  ServerDir server;
  server.WriteConfig("Listen 80\n");
  const auto window = MakeWindow(program, server.tree());
  int endings = 0;
  QObject::connect(window.get(), &gui::PortWindow::ended, [&endings] { ++endings; });
  gui::StartProgram(*window);
  PortBox(*window)->setText(UnusedPort(*window));

  if (byButton)
    QTest::mouseClick(Button(*window, "Command2"), Qt::LeftButton);
  else
    window->close();
  QVERIFY(!window->isVisible());
  QCOMPARE(window->exitCode(), 0);
  QCOMPARE(endings, 1);
  QCOMPARE(server.Config(), QByteArray("Listen 80\n"));
  QCOMPARE(server.ServiceLog(), QByteArray());
}

void WindowTest::startUpError() {
  QFETCH(QString, program);
  // A regular file the kernel refuses to read from its start.
  const ServerTree unreadable{"/proc/self/mem", "/nonexistent/httpd"};
  const auto window = MakeWindow(program, unreadable);
  const ShowCounter shown(*window);
  const BoxAnswerer answerer;

  QCOMPARE(gui::StartProgram(*window), 1);
  QCOMPARE(answerer.boxes().size(), 1);
  const SeenBox& box = answerer.boxes().front();
  QVERIFY2(box.text.contains("/proc/self/mem"), qPrintable(box.text));
  QCOMPARE(box.icon, QMessageBox::Critical);
  QCOMPARE(box.title, window->windowTitle());
  QCOMPARE(box.owner, window.get());
  QVERIFY(!box.busyCursor);
  QCOMPARE(shown.count(), 0);
  QCOMPARE(window->exitCode(), 1);
}

void WindowTest::changeError() {
  ServerDir server;
  server.WriteConfig("Listen 80\n");
  QVERIFY(QFile::remove(server.programPath()));
  portchange::Form1 window(server.tree());
  gui::StartProgram(window);
  PortBox(window)->setText(UnusedPort(window));
  const BoxAnswerer answerer;

  QTest::mouseClick(Button(window, "Command1"), Qt::LeftButton);
  QCOMPARE(answerer.boxes().size(), 1);
  const QString text = answerer.boxes().front().text;
  QVERIFY2(text.contains(server.programPath()) && text.contains("-k stop"), qPrintable(text));
  QCOMPARE(answerer.boxes().front().icon, QMessageBox::Critical);
  QVERIFY(!window.isVisible());
  QCOMPARE(window.exitCode(), 1);
  QCOMPARE(QApplication::overrideCursor(), nullptr);
}

QTEST_MAIN(WindowTest)
#include "window_test.moc"
