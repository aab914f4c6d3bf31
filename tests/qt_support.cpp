#include "qt_support.h"

#include <QApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QtTest>
#include <utility>

#include "portchange/form1_layout.h"
#include "portsetup/form1_layout.h"

const gui::FormLayout& Layout(const QString& program) {
  return program == "portsetup" ? portsetup::kForm1Layout : portchange::kForm1Layout;
}

QWidget* Control(const QWidget& window, const QString& name) {
  auto* control = window.findChild<QWidget*>(name);
  if (!control) qFatal("no control %s", qPrintable(name));
  return control;
}

QLineEdit* PortBox(const QWidget& window) { return qobject_cast<QLineEdit*>(Control(window, "Text1")); }

QStringList ListedPorts(const QWidget& window) {
  QStringList ports;
  const auto* list = qobject_cast<QListWidget*>(Control(window, "List1"));
  for (int row = 0; row < list->count(); ++row) ports << list->item(row)->text();
  return ports;
}

void SaveScreenshot(QWidget& widget, const QString& name) {
  QDir().mkpath(SCREENSHOT_DIR);
  QVERIFY(widget.grab().save(SCREENSHOT_DIR "/" + name + ".png"));
}

QStringList Answering(const std::function<void()>& action, QString screenshot) {
  QStringList texts;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    texts << (box->icon() == QMessageBox::Critical ? "error: " : "") + box->text();
    if (!screenshot.isEmpty()) SaveScreenshot(*box, std::exchange(screenshot, {}));
    const QCursor* cursor = QApplication::overrideCursor();
    const bool busy = cursor && cursor->shape() == Qt::WaitCursor;
    const auto buttons = box->buttons().size();
    box->button(QMessageBox::Ok)->click();
    QVERIFY(!busy);
    QCOMPARE(buttons, 1);
    QVERIFY(qobject_cast<gui::PortWindow*>(box->parentWidget()));
    QCOMPARE(box->windowTitle(), box->parentWidget()->windowTitle());
  });
  timer.start(10);
  action();
  return texts;
}

QStringList Press(const QWidget& window, const QString& control, const QString& screenshot) {
  return Answering([&] { QTest::mouseClick(Control(window, control), Qt::LeftButton); }, screenshot);
}

QStringList TypeAndPress(const QWidget& window, const QString& port) {
  QTest::keyClicks(PortBox(window), port);
  return Press(window);
}
