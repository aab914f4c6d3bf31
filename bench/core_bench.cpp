// Speed and heap use of the core's work at sizes well past real machines:
// the socket tables' parser over 10,000 sockets, a 100,000-line configuration, and a whole
// controller start-up.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "fixtures.h"
#include "listen_file.h"
#include "port_controller.h"
#include "port_probe.h"
#include "test_support.h"

// Every allocation of this program passes here, so a benchmark can report the
// most heap it held at once.
namespace {

std::atomic<size_t> liveBytes{0};
std::atomic<size_t> peakBytes{0};

void* Allocate(size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (!block) throw std::bad_alloc();
  const size_t live = liveBytes += malloc_usable_size(block);
  size_t peak = peakBytes.load();
  while (live > peak && !peakBytes.compare_exchange_weak(peak, live)) {
  }
  return block;
}

void Free(void* block) {
  if (!block) return;
  liveBytes -= malloc_usable_size(block);
  std::free(block);
}

}  // namespace

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void operator delete(void* block) noexcept { Free(block); }
void operator delete[](void* block) noexcept { Free(block); }
void operator delete(void* block, size_t) noexcept { Free(block); }
void operator delete[](void* block, size_t) noexcept { Free(block); }

namespace {

constexpr size_t kSockets = 10000;
constexpr size_t kConfigLines = 100000;

// Reports the heap held at most, over what was held when it was made.
class HeapPeak {
 public:
  explicit HeapPeak(benchmark::State& state) : state_(state), base_(liveBytes.load()) { peakBytes = base_; }
  HeapPeak(const HeapPeak&) = delete;
  HeapPeak& operator=(const HeapPeak&) = delete;
  ~HeapPeak() { state_.counters["heap_peak_KiB"] = static_cast<double>(peakBytes.load() - base_) / 1024; }

 private:
  benchmark::State& state_;
  size_t base_;
};

// The probe's fallback where netlink is refused, without the kernel's part.
void BM_ParseSocketTables(benchmark::State& state) {
  const std::vector<std::string> tables = SocketTables(kSockets);
  HeapPeak heap(state);
  for (auto _ : state) {
    for (const std::string& table : tables) benchmark::DoNotOptimize(ParseProcNetSockets(table));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kSockets));
}
BENCHMARK(BM_ParseSocketTables)->Unit(benchmark::kMillisecond);

void BM_ReadListenPort(benchmark::State& state) {
  TempDir dir;
  const std::string path = (dir.path() / "httpd.conf").string();
  WriteFile(path, MakeConfiguration(kConfigLines));
  HeapPeak heap(state);
  for (auto _ : state) {
    std::string last;
    ReadListenPort(path, [&](const std::string& port) { last = port; });
    benchmark::DoNotOptimize(last);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kConfigLines));
}
BENCHMARK(BM_ReadListenPort)->Unit(benchmark::kMillisecond);

void BM_RewriteListenText(benchmark::State& state) {
  const std::string text = MakeConfiguration(kConfigLines);
  HeapPeak heap(state);
  for (auto _ : state) benchmark::DoNotOptimize(RewriteListenText(text, "81", "\r\n"));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kConfigLines));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_RewriteListenText)->Unit(benchmark::kMillisecond);

// Read, rewrite, write beside, flush to disk and rename: what a request does.
void BM_RewriteListenLines(benchmark::State& state) {
  TempDir dir;
  const std::string path = (dir.path() / "httpd.conf").string();
  WriteFile(path, MakeConfiguration(kConfigLines));
  HeapPeak heap(state);
  for (auto _ : state) {
    FileReplacement file = RewriteListenLines(path, "81");
    file.Place();
    file.Commit();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kConfigLines));
}
BENCHMARK(BM_RewriteListenLines)->Unit(benchmark::kMillisecond);

// A window that shows nothing, noting only whether start-up closed it.
class SilentView : public PortView {
 public:
  bool closed = false;
  std::string GetPortText() override { return {}; }
  void SetPortText(const std::string&) override {}
  void AddUsedPort(const std::string&) override {}
  void SetApplyEnabled(bool) override {}
  void ShowMessage(const std::string&) override {}
  void Close() override { closed = true; }
  void KeepAlive() override {}
};

// A window's start-up on this machine's own sockets, with a private tree
// holding a configuration of ordinary size.
void BM_ControllerStart(benchmark::State& state) {
  TempDir dir;
  const ServerTree tree{(dir.path() / "httpd.conf").string(), (dir.path() / "httpd").string()};
  WriteFile(tree.configFile, MakeConfiguration(600));
  HeapPeak heap(state);
  for (auto _ : state) {
    SilentView view;
    PortController controller(ApplyMode::Change, view, tree);
    controller.Start();
    if (view.closed) state.SkipWithError("the configuration file is missing");
    benchmark::DoNotOptimize(controller.usedPorts());
  }
}
BENCHMARK(BM_ControllerStart)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
