// Preloaded into a Qt program by `bench_tool time --window`: when the
// program's first window is exposed, writes the steady-clock time to the file
// named by PORTCFG_BENCH_SHOWN_FILE and ends the program there, so its peak
// memory is the memory it took to show the window.
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QWindow>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

class ShownWatcher : public QObject {
 public:
  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() == QEvent::Expose && object->isWindowType() && static_cast<QWindow*>(object)->isExposed())
      Report(static_cast<QWindow*>(object));
    return false;
  }

 private:
  [[noreturn]] static void Report(const QWindow* window) {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    if (std::FILE* file = std::fopen(std::getenv("PORTCFG_BENCH_SHOWN_FILE"), "w")) {
      std::fprintf(file, "%lld\n", static_cast<long long>(std::chrono::nanoseconds(now).count()));
      std::fprintf(file, "%s\n", qPrintable(window->title()));
      std::fclose(file);
    }
    _exit(0);
  }
};

void WatchForTheFirstWindow() { qApp->installEventFilter(new ShownWatcher); }

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(WatchForTheFirstWindow)
