#pragma once

#include <QByteArray>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <QVector>
#include <QWidget>

#include "server_tree.h"

// A private server tree: conf/httpd.conf and a stand-in bin/httpd that
// appends its arguments to a log, one line per run.
class ServerDir {
 public:
  ServerDir();
  ServerTree tree() const;
  QString configPath() const { return dir_.filePath("conf/httpd.conf"); }
  QString programPath() const { return dir_.filePath("bin/httpd"); }
  void WriteConfig(const QByteArray& contents) const;
  QByteArray Config() const;
  QByteArray ServiceLog() const;  // empty when the program never ran

 private:
  QTemporaryDir dir_;
};

// What a message box showed.
struct SeenBox {
  QString title;
  QString text;
  QMessageBox::Icon icon;
  int buttonCount;
  QWidget* owner;
  bool busyCursor;  // the wait cursor was up while the box waited
};

// Answers every modal message box with OK while it lives, recording each one;
// saves a picture of the first when given a file name.
class BoxAnswerer : public QObject {
 public:
  explicit BoxAnswerer(QString screenshotName = {});
  const QVector<SeenBox>& boxes() const { return boxes_; }

 private:
  void Poll();

  QTimer timer_;
  QString screenshotName_;
  QVector<SeenBox> boxes_;
};

// Counts the times a widget is shown.
class ShowCounter : public QObject {
 public:
  explicit ShowCounter(QWidget& widget) { widget.installEventFilter(this); }
  int count() const { return count_; }
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  int count_ = 0;
};

// Saves a picture of the widget under the build folder's screenshots/.
void SaveScreenshot(QWidget& widget, const QString& name);
