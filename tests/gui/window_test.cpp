// Both programs' windows, offscreen, driven as their user would. On private
// trees whose server program is the stand-in: how they are laid out and open,
// list the used ports, refuse, fail and end. On the private tree of a real
// Apache, in a network of its own: how they move the server.
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QMessageBox>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtTest>
#include <csignal>
#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>

#include "failed_change_cases.h"
#include "port_probe.h"
#include "port_window.h"
#include "portchange/form1_layout.h"
#include "portsetup/form1_layout.h"
#include "program_end.h"
#include "refusal_cases.h"
#include "test_support.h"

namespace {

const gui::FormLayout& Layout(ApplyMode mode) {
  return mode == ApplyMode::Setup ? portsetup::kForm1Layout : portchange::kForm1Layout;
}

QWidget* Control(const QWidget& window, const char* name) {
  auto* control = window.findChild<QWidget*>(name);
  if (!control) qFatal("no control %s", name);
  return control;
}

QLineEdit* PortBox(const QWidget& window) { return qobject_cast<QLineEdit*>(Control(window, "Text1")); }

QStringList ListedPorts(const QWidget& window) {
  QStringList ports;
  const auto* list = qobject_cast<QListWidget*>(Control(window, "List1"));
  for (int row = 0; row < list->count(); ++row) ports << list->item(row)->text();
  return ports;
}

// A port the probe did not list, so that a request for it is not refused.
QString UnlistedPort(const QWidget& window) {
  int port = 8081;
  while (ListedPorts(window).contains(QString::number(port))) ++port;
  return QString::number(port);
}

// Saves a picture of the widget as screenshots/<name>.png in the build folder.
void SaveScreenshot(QWidget& widget, const QString& name) {
  QDir().mkpath(SCREENSHOT_DIR);
  QVERIFY(widget.grab().save(SCREENSHOT_DIR "/" + name + ".png"));
}

// Runs the action, answering each message box it opens with OK, and returns
// the boxes' texts, an error box's marked "error: ", each followed by its
// details, if any, after "details: "; saves a picture of the first box when
// given a name. Every box must fit on the screen, or its button is out of reach.
QStringList Answering(const std::function<void()>& action, QString screenshot = {}) {
  QStringList texts;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    texts << (box->icon() == QMessageBox::Critical ? "error: " : "") + box->text() +
                 (box->detailedText().isEmpty() ? "" : "\n\ndetails: " + box->detailedText());
    if (!screenshot.isEmpty()) SaveScreenshot(*box, std::exchange(screenshot, {}));
    const bool fits = box->screen()->availableGeometry().contains(box->frameGeometry());
    box->button(QMessageBox::Ok)->click();
    QVERIFY(fits);
  });
  timer.start(10);
  action();
  return texts;
}

// Clicks the control; returns the texts of the boxes that opened meanwhile.
QStringList Press(const QWidget& window, const char* control = "Command1", const QString& screenshot = {}) {
  return Answering([&] { QTest::mouseClick(Control(window, control), Qt::LeftButton); }, screenshot);
}

// The window, with a record of each time its controller enables or disables
// Apply, and of how often it is kept alive.
struct SpiedWindow : gui::PortWindow {
  using PortWindow::PortWindow;
  void SetApplyEnabled(bool enabled) override {
    applyEnabled << enabled;
    PortWindow::SetApplyEnabled(enabled);
  }
  void KeepAlive() override {
    ++keptAlive;
    PortWindow::KeepAlive();
  }
  QList<bool> applyEnabled;
  int keptAlive = 0;
};

// A private tree in the upstream layout, its path with spaces.
struct Tree {
  explicit Tree(const std::string& where = "portcfg tree ") : dir(where) {}
  QByteArray config() const { return QByteArray::fromStdString(ReadFile(tree.configFile)); }
  QByteArray runs() const { return QByteArray::fromStdString(ReadFileIfAny(tree.serverProgram + ".log")); }

  TempDir dir;
  ServerTree tree{dir / "conf/httpd.conf", dir / "bin/httpd"};
};

// The server program is the stand-in, which logs its runs.
struct StandInTree : Tree {
  explicit StandInTree(const std::string& config, bool installed = true) {
    std::filesystem::create_directory(dir / "conf");
    std::filesystem::create_directory(dir / "bin");
    WriteFile(tree.configFile, config);
    if (installed) std::filesystem::copy_file(STAND_IN_SERVER, tree.serverProgram);
  }
};

// Laid out by script/apache-tree where the test is told, with its path as its
// page; the server has exited before the tree goes.
struct ApacheTree : Tree {
  explicit ApacheTree(const QString& listen)
      : Tree(qEnvironmentVariable("PORTCFG_E2E_TREES").toStdString() + "/tree ") {
    created = Script({"create", root(), listen});
    WriteFile(dir / "htdocs/index.html", dir.path().string());
  }
  ~ApacheTree() { Script({"stop-all", root()}); }
  QString root() const { return QString::fromStdString(dir.path().string()); }
  static bool Script(const QStringList& arguments) {
    return QProcess::execute(PORTCFG_SOURCE_DIR "/script/apache-tree", arguments) == 0;
  }
  bool Start() const { return QProcess::execute(tree.serverProgram.c_str(), {"-k", "start"}) == 0; }

  bool created;
};

// A loopback port no socket uses at the moment of asking.
QString FreePort() {
  QTcpServer probe;
  return probe.listen(QHostAddress::LocalHost) ? QString::number(probe.serverPort()) : "none";
}

// Whether a GET of "/" over HTTP/1.0 gets the page, or why not.
QByteArray PageAt(const QString& address, const QString& port, const QByteArray& page) {
  QTcpSocket socket;
  socket.connectToHost(address, port.toUShort());
  if (!socket.waitForConnected(5000)) return socket.errorString().toUtf8();
  socket.write("GET / HTTP/1.0\r\nHost: " + address.toLatin1() + "\r\n\r\n");
  QByteArray reply;
  while (socket.waitForReadyRead(5000)) reply += socket.readAll();
  reply += socket.readAll();
  return reply.startsWith("HTTP/1.1 200 ") && reply.endsWith("\r\n\r\n" + page) ? "the page" : reply;
}

// This thread may open no netlink socket from now on, as in sandboxes that
// refuse them; a seccomp filter holds for the thread that sets it.
bool RefuseNetlink() {
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_socket, 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),  // low half, little-endian
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AF_NETLINK, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EACCES),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// How a program ends, with a new port in the box.
struct EndCase {
  const char* name;
  ApplyMode mode;
  const char* configFile;  // instead of the tree's
  const char* action;      // a button or "close"; none: start-up ends the program
  const char* message;     // its box's start; none: no box
  int exitCode;
};

const EndCase kEndCases[] = {
    // A file the kernel refuses to read from its start.
    {"unreadable", ApplyMode::Change, "/proc/self/mem", "",
     "error: Could not read httpd.conf.\n\nCannot read \"/proc/self/mem\": ", gui::kFailed},
    {"a folder", ApplyMode::Setup, ".", "", "Can't find httpd.conf!", gui::kNotApplied},
    {"exit", ApplyMode::Change, "", "Command2", "", gui::kNotApplied},
    {"close box", ApplyMode::Setup, "", "close", "", gui::kNotApplied},
    {"second copy", ApplyMode::Change, "", "", "Another copy of portsetup or portchange is already open.",
     gui::kNotApplied},
    // Told to end while the change runs, by a timer that fires only if the
    // window answers meanwhile: the change is made first.
    {"SIGTERM", ApplyMode::Setup, "", "Command1", "", gui::kApplied},
};

// One data row per case of the table, holding its index.
template <typename Case, size_t count>
void AddRows(const Case (&cases)[count], const char* Case::*name) {
  QTest::addColumn<int>("row");
  for (const Case& c : cases) QTest::addRow("%d %s", int(&c - cases), c.*name) << int(&c - cases);
}

int Row() {
  QFETCH(int, row);
  return row;
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

  const bool netlinkRefused_ = qEnvironmentVariableIsSet("PORTCFG_REFUSE_NETLINK");

 private slots:
  // Every test runs a second time with the probe reading the kernel's tables.
  void initTestCase() { QVERIFY(!netlinkRefused_ || RefuseNetlink()); }

  void layout_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QString>("shown");  // selected on opening
    QTest::addColumn<QString>("typed");  // over it
    QTest::addColumn<QString>("text");
    QTest::newRow("portsetup") << int(ApplyMode::Setup) << QByteArray("ServerRoot x\n") << "Text1"
                               << "8123456"
                               << "81234";
    // The last Listen line's port; cut to five characters, it would read "00080".
    QTest::newRow("portchange") << int(ApplyMode::Change) << QByteArray("Listen 80\nListen 0008080\n") << "0008080"
                                << "81"
                                << "81";
  }

  // The window opens with the port selected in the port box, shown from its
  // first character; typing over it takes five characters, and Tab moves on
  // to the apply button.
  void layout() {
    QFETCH(int, mode);
    QFETCH(QByteArray, config);
    QFETCH(QString, shown);
    QFETCH(QString, typed);
    QFETCH(QString, text);
    const StandInTree server(config.toStdString());
    gui::PortWindow window(Layout(ApplyMode(mode)), server.tree);
    QCOMPARE(window.Open(), std::nullopt);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    SaveScreenshot(window, QTest::currentDataTag());
    QLineEdit* box = PortBox(window);
    QCOMPARE(QApplication::focusWidget(), box);
    QCOMPARE(box->selectedText(), shown);
    QCOMPARE(box->cursorPosition(), 0);
    QTest::keyClicks(box, typed);
    QCOMPARE(box->text(), text);
    QTest::keyClick(box, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), Control(window, "Command1"));
  }

  // Every socket is listed as often as it is there: the listener's port twice
  // once a connection waits on it. A socket only bound is not listed.
  void listsTheUsedPorts() {
    QTcpServer tcp4, tcp6;
    QUdpSocket udp4, udp6;
    QTcpSocket client, bound;
    QVERIFY(tcp4.listen(QHostAddress::LocalHost) && tcp6.listen(QHostAddress::LocalHostIPv6));
    QVERIFY(udp4.bind(QHostAddress::LocalHost) && udp6.bind(QHostAddress::LocalHostIPv6));
    QVERIFY(bound.bind(QHostAddress::LocalHost));
    client.connectToHost(QHostAddress::LocalHost, tcp4.serverPort());
    QVERIFY(client.waitForConnected());
    const StandInTree server("Listen 80\n");
    gui::PortWindow window(Layout(ApplyMode::Change), server.tree);
    QCOMPARE(window.Open(), std::nullopt);
    std::map<quint16, qsizetype> expected{{bound.localPort(), 0}};
    for (quint16 port : {tcp4.serverPort(), tcp4.serverPort(), tcp6.serverPort(), udp4.localPort(), udp6.localPort(),
                         client.localPort()})
      ++expected[port];
    for (const auto& [port, times] : expected) QCOMPARE(ListedPorts(window).count(QString::number(port)), times);
  }

  // Where netlink is refused the tables are read in order, and one a kernel
  // without IPv6 lacks is skipped.
  void readsTheTablesWithoutNetlink() {
    if (!netlinkRefused_) QSKIP("netlink answers");
    TempDir dir;
    const std::string header = "  sl  local_address rem_address   st\n";
    const std::string any6 = "00000000000000000000000000000000";
    WriteFile(dir / "tcp", header + "   0: 0100007F:0050 00000000:0000 0A\n");
    WriteFile(dir / "tcp6", header + "   0: " + any6 + ":1F90 " + any6 + ":0000 0A\n");
    WriteFile(dir / "udp", header + "   0: 00000000:0035 00000000:0000 07\n");
    QCOMPARE(ProbeUsedPorts(dir.path().string()), (std::vector<std::string>{"80", "8080", "53"}));
  }

  void refusals_data() { AddRows(kRefusalCases, &RefusalCase::typed); }

  // One box, then the window waits again with the port box ready for the next port.
  void refusals() {
    const RefusalCase& c = kRefusalCases[Row()];
    QTcpServer used;
    QVERIFY(used.listen(QHostAddress::LocalHost));
    const std::string port = std::to_string(used.serverPort());
    const StandInTree server(WithPort(c.config, port));
    SpiedWindow window(Layout(c.mode), server.tree);
    QCOMPARE(window.Open(), std::nullopt);
    // Put in as start-up would: some texts are longer than a user may type.
    window.SetPortText(WithPort(c.typed, port));
    QCOMPARE(Press(window, "Command1", &c == kRefusalCases ? "refusal-box" : ""), QStringList{c.message});
    // Disabled while the request runs.
    QCOMPARE(window.applyEnabled, (QList<bool>{false, true}));
    QVERIFY(Control(window, "Command1")->isEnabled());
    QTRY_COMPARE(QApplication::focusWidget(), PortBox(window));
    QCOMPARE(PortBox(window)->selectedText(), QString::fromStdString(WithPort(c.typed, port)));
    QCOMPARE(server.config(), QByteArray::fromStdString(WithPort(c.config, port)));
    QCOMPARE(server.runs(), "");
  }

  void failedChanges_data() { AddRows(kFailedChangeCases, &FailedChangeCase::name); }

  // The server decides: a change lands once the new port listens. One that
  // does not ends the program with an error box, httpd.conf as before and the
  // server where the box says.
  void failedChanges() {
    const FailedChangeCase& c = kFailedChangeCases[Row()];
    const ChangeRun run(c);
    const StandInTree server(run.Filled("Listen OLD\r\n"), std::string(c.server) != "missing");
    if (std::string(c.server) == "running") {
      RunHiddenAndWait({server.tree.serverProgram, {"-k", "start"}});
      QTRY_VERIFY(IsPortListening(std::stoi(run.oldPort)));
      std::filesystem::remove(server.tree.serverProgram + ".log");
    }
    WriteFile(server.tree.configFile, run.config());
    ServerTree tree = server.tree;
    tree.portWait = kPortWait;
    SpiedWindow window(Layout(c.mode), tree);
    QCOMPARE(window.Open(), std::nullopt);
    QTcpServer taken;
    QVERIFY(c.setting != std::string("taken") ||
            taken.listen(QHostAddress::LocalHost, quint16(std::stoi(run.newPort))));
    PortBox(window)->setText(QString::fromStdString(run.newPort));
    QElapsedTimer timer;
    timer.start();
    const QStringList boxes = Press(window, "Command1", &c == kFailedChangeCases ? "error-box" : "");
    // Kept alive every 10 ms or so: at least every 100 ms, whatever the load.
    QVERIFY2(window.keptAlive >= timer.elapsed() / 100 - 2, qPrintable(QString::number(window.keptAlive)));
    taken.close();
    QCOMPARE(server.runs(), c.runs);
    QCOMPARE(run.Listening(), c.listening);
    if (c.says.empty()) {
      QCOMPARE(boxes, QStringList{});
      QCOMPARE(window.exitCode(), gui::kApplied);
      QCOMPARE(server.config(), QByteArray::fromStdString(run.changed()).replace("\r\n", "\n"));
      return;
    }
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes[0].startsWith("error: Could not change the port.\n\n"), qPrintable(boxes[0]));
    QCOMPARE(run.MissingFrom(boxes[0].toStdString(), server.tree.serverProgram), "");
    // Its details hold what the server wrote beyond the lines the box shows, uncut.
    QVERIFY(!boxes[0].contains(" more lines)") || boxes[0].contains(QString(150, '.') + '\n'));
    QCOMPARE(window.exitCode(), gui::kFailed);
    QCOMPARE(server.config(), QByteArray::fromStdString(run.config()));
  }

  void ends_data() { AddRows(kEndCases, &EndCase::name); }

  // Its code and its box, and nothing written or run unless it applied the port.
  void ends() {
    const EndCase& c = kEndCases[Row()];
    const bool second = c.name == std::string("second copy"), applied = c.exitCode == gui::kApplied;
    const ScopedEnvironment slow("STAND_IN_SLEEP_MS", applied ? "300" : "0");
    QTcpServer used;
    QVERIFY(used.listen(QHostAddress::LocalHost));
    const StandInTree server("Listen 80\r\n");
    ServerTree tree = server.tree;
    if (*c.configFile) tree.configFile = c.configFile;
    std::optional<gui::PortWindow> first;
    if (second) first.emplace(Layout(c.mode), tree);
    gui::PortWindow window(Layout(c.mode), tree);
    std::optional<int> started;
    QString port;
    bool told = false;
    const QStringList texts = Answering(
        [&] {
          started = window.Open();
          if (started) return;
          PortBox(window)->setText(port = UnlistedPort(window));
          if (applied) QTimer::singleShot(100, &window, [&] { told = kill(getpid(), SIGTERM) == 0; });
          if (c.action == std::string("close"))
            window.close();
          else
            QTest::mouseClick(Control(window, c.action), Qt::LeftButton);
        },
        c.name);

    QCOMPARE(started.has_value(), !*c.action);
    QCOMPARE(told, applied);
    QCOMPARE(window.exitCode().value_or(-1), c.exitCode);
    QCOMPARE(texts.size(), *c.message ? 1 : 0);
    if (*c.message) QVERIFY2(texts[0].startsWith(c.message), qPrintable(texts[0]));
    // The start-up's probe comes first, whatever follows, unless another copy is open.
    QCOMPARE(ListedPorts(window).contains(QString::number(used.serverPort())), !second);
    QCOMPARE(server.config(), applied ? "Listen " + port.toLatin1() + "\n" : "Listen 80\r\n");
    QCOMPARE(server.runs(), applied ? "<-t>\n<-k> <install>\n<-k> <start>\n" : "");
  }

  void movesARealApache_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("slowClients");  // on the old port, each having sent half a request
    QTest::addColumn<bool>("spoiled");     // httpd.conf gains a line the server refuses, and the new port is taken
    QTest::newRow("change, every address") << int(ApplyMode::Change) << QString() << 0 << false;
    QTest::newRow("change, bound to 127.0.0.1") << int(ApplyMode::Change) << QStringLiteral("127.0.0.1:") << 0 << false;
    QTest::newRow("change, slow clients") << int(ApplyMode::Change) << QString() << 3 << false;
    QTest::newRow("change, refused by the test") << int(ApplyMode::Change) << QString() << 0 << true;
    QTest::newRow("setup, stopped server") << int(ApplyMode::Setup) << QString() << 0 << false;
  }

  // portchange moves a running server, whose clients may hold it for a
  // while; portsetup starts a stopped one. The port is written as typed,
  // without its blanks. A file the server refuses is left as it was, the
  // server untouched.
  void movesARealApache() {
    QFETCH(int, mode);
    QFETCH(QString, address);
    QFETCH(int, slowClients);
    QFETCH(bool, spoiled);
    if (!qEnvironmentVariableIsSet("PORTCFG_E2E_TREES")) QSKIP("runs in a network of its own, as e2e_apache");
    const bool running = ApplyMode(mode) == ApplyMode::Change;
    const QString oldPort = FreePort();
    const ApacheTree server(address + oldPort);
    QVERIFY(server.created && (!running || server.Start()));
    const QByteArray page = QByteArray::fromStdString(server.dir.path().string());
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < slowClients; ++i) {
      clients.push_back(std::make_unique<QTcpSocket>());
      clients.back()->connectToHost("127.0.0.1", oldPort.toUShort());
      QVERIFY(clients.back()->waitForConnected(5000));
      clients.back()->write("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n");
      QVERIFY(clients.back()->waitForBytesWritten(5000));
    }
    if (spoiled) WriteFile(server.tree.configFile, server.config().toStdString() + "Bogus\r\n");
    QByteArray config = server.config();

    gui::PortWindow window(Layout(ApplyMode(mode)), server.tree);
    QVERIFY(!window.Open());
    const QString newPort = UnlistedPort(window);
    QTcpServer taken;
    QVERIFY(!spoiled || taken.listen(QHostAddress::LocalHost, newPort.toUShort()));
    window.SetPortText(" 0" + newPort.toStdString() + " ");
    const QStringList boxes = Press(window);
    if (spoiled) {
      QCOMPARE(boxes.size(), 1);
      QVERIFY2(
          boxes[0].startsWith("error: Could not change the port.\n\n") && boxes[0].contains("Invalid command 'Bogus'"),
          qPrintable(boxes[0]));
      QCOMPARE(window.exitCode(), gui::kFailed);
      QCOMPARE(server.config(), config);
      QCOMPARE(PageAt("127.0.0.1", oldPort, page), "the page");
      return;
    }
    QCOMPARE(boxes, QStringList{});
    QCOMPARE(window.exitCode(), gui::kApplied);
    QCOMPARE(PageAt("127.0.0.1", newPort, page), "the page");
    QCOMPARE(PageAt("127.0.0.1", oldPort, page), "Connection refused");
    // 127.0.0.2 is loopback too: only a server bound to every address answers there.
    QCOMPARE(PageAt("127.0.0.2", newPort, page) == "the page", address.isEmpty());
    // The rest of the file is as it was, every line written back with this
    // platform's line end (LF).
    config.replace("\r\nListen " + (address + oldPort).toLatin1() + "\r\n",
                   "\r\nListen " + (address + "0" + newPort).toLatin1() + "\r\n");
    QCOMPARE(server.config(), config.replace("\r\n", "\n"));
  }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
