// bench_update_run: the update run over many small "O" entries against a
// transport that serves them from memory, so that the figures are the
// run's own cost per entry (the pending list, the window's name lists, the
// journal, the record's saves), not the network's. The engine shows itself
// on the real main window (headless), whose hidden list boxes mirror its
// name lists. The flush of the installed files is left out: it costs the
// disk's time, measured by bench_update.
//   build/bench/update/bench_update_run [--entries N ...]
// prints the time of the whole run for each count (50,000, 100,000 and
// 200,000 by default) and its time per entry; a run linear in the number
// of entries keeps the time per entry flat.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/form1.h"
#include "frontends/headless/headless_backend.h"
#include "support/fake_transport.h"
#include "support/temp_folder.h"
#include "lists/pending_list.h"
#include "transport/transport_registry.h"
#include "update/install_journal.h"
#include "update/server_line.h"
#include "update/update_run.h"
#include "vcl/application.h"

namespace {

using Clock = std::chrono::steady_clock;

// Folders of at most this many files: a game's tree, not one huge folder.
constexpr int kFilesPerFolder = 1000;

// Runs the update of `count` new entries in a fresh game folder; returns
// the seconds of Button1Click alone.
double TimeUpdateRun(int count) {
  test_support::TempFolder game;
  test_support::FakeServer server;
  std::vector<std::string> pending, names;
  for (int i = 0; i < count; ++i) {
    const std::string remote = "F" + std::to_string(i) + ".bin";
    const std::string content = "entry " + std::to_string(i) + "\n";
    server.files[remote] = content;
    names.push_back("Data\\D" + std::to_string(i / kFilesPerFolder) + "\\F" + std::to_string(i) + ".bin");
    pending.push_back("O " + remote + " " + names.back() + " 1 " + std::to_string(content.size()));
  }
  TForm1* form1 = Application.CreateForm<TForm1>(game.path());
  double seconds = 0;
  {
    // The engine of the window, on the fake transport, in the state the
    // check leaves: connected, the lists built, the names mirrored.
    UpdateEngine e(*form1, form1->Gzip,
                   TransportRegistry{{std::string(kPlainServerScheme), test_support::FakeTransportFactory(server)}});
    e.ExeDir = game.path();
    e.NewConnection(kPlainServerScheme)->Connect(ServerLogin{"127.0.0.1", 21, 0, "anonymous", ""});
    e.RecordList = LineList{kRecordHeader, ""};
    e.PendingList = LineList{};
    e.PendingList = std::move(pending);
    for (const std::string& name : names) AddPendingName(e, name);
    const auto start = Clock::now();
    Button1Click(e);
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (e.RecordList->size() != static_cast<size_t>(count) + 2)
      throw std::runtime_error("the run installed " + std::to_string(e.RecordList->size() - 2) + " of " +
                               std::to_string(count) + " entries");
  }
  Application.Shutdown();
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> counts;
  for (int i = 1; i + 1 < argc; i += 2)
    if (std::strcmp(argv[i], "--entries") == 0) counts.push_back(std::atoi(argv[i + 1]));
  if (counts.empty()) counts = {50000, 100000, 200000};
  HeadlessBackend backend;
  Application.SetBackend(&backend);
  SetInstalledFileFlusher([](const std::vector<std::string>&) {});
  try {
    for (const int count : counts) {
      const double seconds = TimeUpdateRun(count);
      std::printf("%7d entries: update run %8.3f s, %6.2f us per entry\n", count, seconds, seconds * 1e6 / count);
      std::fflush(stdout);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_update_run: %s\n", error.what());
    return 1;
  }
  return 0;
}
