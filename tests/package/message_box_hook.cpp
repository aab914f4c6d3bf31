// Preloaded into a packaged Qt program: appends each message box's title and
// text, a line each, to the file PORTCFG_BOX_FILE names, then presses its OK.
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace {

void AnswerMessageBoxes() {
  auto* poll = new QTimer(qApp);
  QObject::connect(poll, &QTimer::timeout, [] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    QFile record(qEnvironmentVariable("PORTCFG_BOX_FILE"));
    if (record.open(QIODevice::Append)) record.write((box->windowTitle() + '\n' + box->text() + '\n').toUtf8());
    box->button(QMessageBox::Ok)->click();
  });
  poll->start(10);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(AnswerMessageBoxes)
