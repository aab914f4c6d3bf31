// The two programs' windows against a real Apache in a private tree: what the
// user sees, what the server does afterwards, and what is left in its file.
#include <sys/socket.h>

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "portchange/form1.h"
#include "portsetup/form1.h"
#include "posix_support.h"
#include "private_server.h"
#include "program.h"
#include "test_support.h"

namespace {

// Answers every modal box that opens while it lives with OK, keeping its text.
class BoxAnswerer : public QObject {
 public:
  BoxAnswerer() {
    connect(&timer_, &QTimer::timeout, this, &BoxAnswerer::Answer);
    timer_.start(10);
  }
  QStringList texts;

 private:
  void Answer() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    texts << box->text();
    box->button(QMessageBox::Ok)->click();
  }
  QTimer timer_;
};

// Presses the apply button; returns the texts of the boxes that opened meanwhile.
QStringList Press(const gui::PortWindow& window) {
  BoxAnswerer answerer;
  QTest::mouseClick(window.findChild<QPushButton*>("Command1"), Qt::LeftButton);
  return answerer.texts;
}

QStringList TypeAndPress(const gui::PortWindow& window, const QString& port) {
  auto* text1 = window.findChild<QLineEdit*>("Text1");
  text1->clear();
  QTest::keyClicks(text1, port);
  return Press(window);
}

QStringList ListedPorts(const gui::PortWindow& window) {
  QStringList ports;
  const auto* list1 = window.findChild<QListWidget*>("List1");
  for (int row = 0; row < list1->count(); ++row) ports << list1->item(row)->text();
  return ports;
}

// Bytes compare with their differences shown.
QByteArray Bytes(const std::string& text) { return QByteArray::fromStdString(text); }

// The configuration as it was, with the one Listen line moved.
QByteArray Moved(std::string config, const QString& from, const QString& to) {
  const std::string line = "\r\nListen " + from.toStdString() + "\r\n";
  const size_t at = config.find(line);
  if (at == std::string::npos) return "no" + Bytes(line) + "in the original";
  return Bytes(config.replace(at, line.size(), "\r\nListen " + to.toStdString() + "\r\n"));
}

// The file holds the expected bytes, every line written back with this
// platform's line end (LF).
void CompareConfig(const PrivateServer& server, const QByteArray& expected) {
  QCOMPARE(Bytes(ReadFile(server.configFile())), QByteArray(expected).replace("\r\n", "\n"));
}

int ExitCode(const gui::PortWindow& window) { return window.exitCode().value_or(-1); }

}  // namespace

class ApacheEndToEnd : public QObject {
  Q_OBJECT

 private slots:
  void changeMovesTheRunningServer_data() {
    QTest::addColumn<QString>("address");
    QTest::newRow("every address") << QString();
    QTest::newRow("bound to 127.0.0.1") << QStringLiteral("127.0.0.1:");
  }

  void changeMovesTheRunningServer() {
    QFETCH(QString, address);
    const QString oldPort = QString::number(FreePort());
    PrivateServer server((address + oldPort).toStdString());
    server.Start();
    const Listener other(AF_INET);
    const QString otherPort = QString::number(other.port());
    const std::string config = ReadFile(server.configFile());

    portchange::Form1 window(server.tree());
    QVERIFY(!gui::StartProgram(window));
    QVERIFY(ListedPorts(window).contains(oldPort));
    QVERIFY(ListedPorts(window).contains(otherPort));
    // The box shows the Listen line's whole second token, address included,
    // which is not a number; a bare port is the one already configured.
    QCOMPARE(window.findChild<QLineEdit*>("Text1")->text(), address + oldPort);
    QCOMPARE(Press(window), QStringList{address.isEmpty() ? "Not change." : "Must be number."});
    QCOMPARE(TypeAndPress(window, otherPort), QStringList{"Can't use."});
    QVERIFY(window.isVisible());
    QCOMPARE(Bytes(ReadFile(server.configFile())), Bytes(config));

    const QString newPort = QString::number(FreePort());
    QCOMPARE(TypeAndPress(window, newPort), QStringList{});
    QCOMPARE(ExitCode(window), 0);
    const HttpReply reply = HttpGet("127.0.0.1", newPort.toInt());
    QCOMPARE(Bytes(reply.body), Bytes(server.page()));
    QCOMPARE(reply.status, 200);
    QVERIFY(Refuses("127.0.0.1", oldPort.toInt()));
    // 127.0.0.2 is loopback too: only a server bound to every address answers there.
    QCOMPARE(Refuses("127.0.0.2", newPort.toInt()), !address.isEmpty());
    CompareConfig(server, Moved(config, address + oldPort, address + newPort));
  }

  void setupInstallsAndStartsAStoppedServer() {
    const QString oldPort = QString::number(FreePort());
    PrivateServer server(oldPort.toStdString());
    const std::string config = ReadFile(server.configFile());

    portsetup::Form1 window(server.tree());
    QVERIFY(!gui::StartProgram(window));
    QVERIFY(!ListedPorts(window).contains(oldPort));
    QCOMPARE(window.findChild<QLineEdit*>("Text1")->text(), oldPort);

    const QString newPort = QString::number(FreePort());
    QCOMPARE(TypeAndPress(window, newPort), QStringList{});
    QCOMPARE(ExitCode(window), 0);
    QVERIFY(server.Installed());
    const HttpReply reply = HttpGet("127.0.0.1", newPort.toInt());
    QCOMPARE(Bytes(reply.body), Bytes(server.page()));
    QCOMPARE(reply.status, 200);
    CompareConfig(server, Moved(config, oldPort, newPort));
  }
};

QTEST_MAIN(ApacheEndToEnd)
#include "apache_e2e_test.moc"
