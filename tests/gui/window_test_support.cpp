#include "window_test_support.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QPushButton>
#include <QtTest>

ServerDir::ServerDir() {
  QDir(dir_.path()).mkpath("conf");
  QDir(dir_.path()).mkpath("bin");
  QFile program(programPath());
  QVERIFY(program.open(QIODevice::WriteOnly));
  program.write("#!/bin/sh\necho \"$*\" >> '" + dir_.filePath("service.log").toUtf8() + "'\n");
  program.close();
  program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

ServerTree ServerDir::tree() const {
  return {configPath().toStdString(), programPath().toStdString()};
}

void ServerDir::WriteConfig(const QByteArray& contents) const {
  QFile file(configPath());
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(contents);
}

static QByteArray ReadIfThere(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray ServerDir::Config() const { return ReadIfThere(configPath()); }

QByteArray ServerDir::ServiceLog() const { return ReadIfThere(dir_.filePath("service.log")); }

BoxAnswerer::BoxAnswerer(QString screenshotName) : screenshotName_(std::move(screenshotName)) {
  connect(&timer_, &QTimer::timeout, this, &BoxAnswerer::Poll);
  timer_.start(10);
}

void BoxAnswerer::Poll() {
  auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  if (!box || !box->isVisible()) return;
  const QCursor* cursor = QApplication::overrideCursor();
  boxes_.push_back({box->windowTitle(), box->text(), box->icon(), int(box->buttons().size()),
                    box->parentWidget(), cursor && cursor->shape() == Qt::WaitCursor});
  if (!screenshotName_.isEmpty()) SaveScreenshot(*box, std::exchange(screenshotName_, {}));
  box->button(QMessageBox::Ok)->click();
}

bool ShowCounter::eventFilter(QObject*, QEvent* event) {
  if (event->type() == QEvent::Show) ++count_;
  return false;
}

void SaveScreenshot(QWidget& widget, const QString& name) {
  QDir().mkpath(SCREENSHOT_DIR);
  QVERIFY(widget.grab().save(QStringLiteral(SCREENSHOT_DIR "/") + name + ".png"));
}
