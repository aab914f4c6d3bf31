// The two programs' windows against a real Apache in a private tree: what the
// user sees, what the server does afterwards, and what is left in its file.
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include "qt_support.h"
#include "test_support.h"

namespace {

// A tree laid out by script/apache-tree under the build folder, with a page of
// its own. Its server is stopped and the tree removed when the object goes.
class PrivateServer {
 public:
  bool Create(const QString& listen) const {
    if (QProcess::execute(PORTCFG_SOURCE_DIR "/script/apache-tree", {"create", dir_.path(), listen}) != 0) return false;
    WriteFile(path("htdocs/index.html").toStdString(), page().toStdString());
    return true;
  }
  ~PrivateServer() { QProcess::execute(path("bin/httpd"), {"-k", "stop"}); }
  bool Start() const { return QProcess::execute(path("bin/httpd"), {"-k", "start"}) == 0; }
  QString path(const char* name) const { return dir_.filePath(name); }
  QByteArray config() const { return QByteArray::fromStdString(ReadFile(path("conf/httpd.conf").toStdString())); }
  ServerTree tree() const { return {path("conf/httpd.conf").toStdString(), path("bin/httpd").toStdString()}; }
  QByteArray page() const { return "private server " + dir_.path().toUtf8() + "\n"; }

 private:
  // A space in the path, as in the server's home folder on Windows.
  QTemporaryDir dir_{PORTCFG_E2E_TREES "/tree XXXXXX"};
};

// A loopback port no socket uses at the moment of asking.
QString FreePort() {
  QTcpServer probe;
  return probe.listen(QHostAddress::LocalHost) ? QString::number(probe.serverPort()) : "none";
}

// The whole reply to one GET of "/" over HTTP/1.0, or why there is none.
QByteArray HttpGet(const QString& address, const QString& port) {
  QTcpSocket socket;
  socket.connectToHost(address, port.toUShort());
  if (!socket.waitForConnected(5000)) return socket.errorString().toUtf8();
  socket.write("GET / HTTP/1.0\r\nHost: " + address.toLatin1() + "\r\n\r\n");
  QByteArray reply;
  while (socket.waitForReadyRead(5000)) reply += socket.readAll();
  return reply + socket.readAll();
}

}  // namespace

class ApacheEndToEnd : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QVERIFY(QDir().mkpath(PORTCFG_E2E_TREES)); }

  void movesTheServer_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("address");
    QTest::newRow("change, every address") << "portchange" << QString();
    QTest::newRow("change, bound to 127.0.0.1") << "portchange" << QStringLiteral("127.0.0.1:");
    QTest::newRow("setup, stopped server") << "portsetup" << QString();
  }

  // portchange moves a running server; portsetup installs and starts a stopped one.
  void movesTheServer() {
    QFETCH(QString, program);
    QFETCH(QString, address);
    const bool running = program == "portchange";
    const QString oldPort = FreePort();
    const PrivateServer server;
    QVERIFY(server.Create(address + oldPort) && (!running || server.Start()));
    QTcpServer other;
    QVERIFY(other.listen(QHostAddress::LocalHost));
    const QString otherPort = QString::number(other.serverPort());
    QByteArray config = server.config();

    gui::PortWindow window(Layout(program), server.tree());
    QVERIFY(!window.Open());
    QCOMPARE(ListedPorts(window).contains(oldPort), running);
    QVERIFY(ListedPorts(window).contains(otherPort));
    // The box shows the Listen line's port, without its address.
    QCOMPARE(PortBox(window)->text(), oldPort);
    if (running) QCOMPARE(Press(window), QStringList{"Not change."});
    QCOMPARE(TypeAndPress(window, otherPort), QStringList{"Can't use."});
    QVERIFY(window.isVisible());
    QCOMPARE(server.config(), config);

    const QString newPort = FreePort();
    QCOMPARE(TypeAndPress(window, newPort), QStringList{});
    QCOMPARE(window.exitCode(), 0);
    QCOMPARE(QFile::exists(server.path("logs/service-installed")), !running);
    const QByteArray reply = HttpGet("127.0.0.1", newPort);
    QVERIFY2(reply.startsWith("HTTP/1.1 200 ") && reply.endsWith("\r\n\r\n" + server.page()), reply.constData());
    QCOMPARE(HttpGet("127.0.0.1", oldPort), "Connection refused");
    // 127.0.0.2 is loopback too: only a server bound to every address answers there.
    QCOMPARE(HttpGet("127.0.0.2", newPort).startsWith("HTTP/1.1 200 "), address.isEmpty());
    // The rest of the file is as it was, every line written back with this
    // platform's line end (LF).
    const QByteArray line = "\r\nListen " + (address + oldPort).toLatin1() + "\r\n";
    QVERIFY(config.contains(line));
    config.replace(line, "\r\nListen " + (address + newPort).toLatin1() + "\r\n").replace("\r\n", "\n");
    QCOMPARE(server.config(), config);
  }

  // The new port is taken between start-up and the change: the server cannot
  // start on it, so the file is put back and the server serves the old port.
  void undoesAChangeTheServerCannotStartOn() {
    const QString oldPort = FreePort();
    const PrivateServer server;
    QVERIFY(server.Create(oldPort) && server.Start());
    const QByteArray config = server.config();
    gui::PortWindow window(Layout("portchange"), server.tree());
    QVERIFY(!window.Open());

    QTcpServer other;
    QVERIFY(other.listen(QHostAddress::Any));
    const QStringList boxes = TypeAndPress(window, QString::number(other.serverPort()));
    QCOMPARE(boxes.size(), 1);
    const QString said = "/bin/httpd\" -k start ended with exit code 1, its output ending:\n    ";
    const QString outcome =
        "\n\nhttpd.conf was put back as it was and the server started again: port " + oldPort + " is back.";
    QVERIFY2(boxes[0].startsWith("error: Could not change the port.\n\n\"") && boxes[0].contains(said) &&
                 boxes[0].endsWith(outcome),
             qPrintable(boxes[0]));
    QCOMPARE(window.exitCode(), 1);
    QCOMPARE(server.config(), config);
    const QByteArray reply = HttpGet("127.0.0.1", oldPort);
    QVERIFY2(reply.startsWith("HTTP/1.1 200 ") && reply.endsWith("\r\n\r\n" + server.page()), reply.constData());
  }
};

QTEST_MAIN(ApacheEndToEnd)
#include "apache_e2e_test.moc"
