// bench_update: a full update from vsftpd on loopback, timed against the
// same files fetched by curl over one connection plus `gzip -dc` per file.
// Cases: 1,000 small "E" files, and one large "O" file (1 GiB by default).
// The engine runs in-process (the check, then the update run), so the
// figures hold the transfers and installation, not the window's 1 s start
// timer; the updater-cli process time is printed beside them. For the
// small files the run is also timed without the flush that puts the
// installed files on disk before the record is saved, and the flush
// itself is timed on its own.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#include "cli_runner.h"
#include "frontends/headless/headless_backend.h"
#include "peer_fetch.h"
#include "support/engine_window.h"
#include "support/ftp_servers.h"
#include "platform/file_system.h"
#include "support/temp_folder.h"
#include "update/install_journal.h"
#include "update/update_driver.h"
#include "update/update_run.h"
#include "update_set.h"
#include "vcl/application.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::string ServerLine(int port) { return "Bench 127.0.0.1 " + std::to_string(port) + " 10000 anonymous"; }

// Runs the check and the update run against the server; returns seconds.
// Whatever earlier runs left unwritten is put on disk first, so that each
// run pays only for its own flush.
double TimeEngineUpdate(int port, size_t expected_entries) {
  sync();
  test_support::EngineTestWindow w;
  w.folder.Write("isp0.dat", ServerLine(port) + "\r\nend\r\n");
  w.choice = ServerChoice{0, 2, {ServerLine(port), "end"}};
  w.StartPending = true;
  const auto start = Clock::now();
  FormResize(w, [](int) { return 0; });
  Button1Click(w);
  const double seconds = Seconds(start);
  if (!w.RecordList || w.RecordList->size() != expected_entries + 2)
    throw std::runtime_error("the update did not install every entry");
  return seconds;
}

// Runs updater-cli --update in a fresh game folder; returns seconds.
double TimeCliUpdate(int port) {
  test_support::TempFolder game;
  game.Write("isp0.dat", ServerLine(port) + "\r\nend\r\n");
  const auto start = Clock::now();
  const test_support::CliResult r = test_support::RunUpdaterCli({"--dir", game.path(), "--server", "0", "--update"});
  const double seconds = Seconds(start);
  if (r.exit_code != 0) throw std::runtime_error("updater-cli failed: " + r.out + r.err);
  return seconds;
}

void Report(const char* name, double engine, double peer, double cli) {
  std::printf("%-28s engine %8.3f s   curl+gzip %8.3f s   ratio %5.2f   (updater-cli process %8.3f s)\n",
              name, engine, peer, engine / peer, cli);
  std::fflush(stdout);
}

void SmallFiles(int count) {
  test_support::TempFolder served, peer;
  test_support::UpdateSet set(served.path());
  std::vector<PeerFile> peer_files;
  for (int i = 0; i < count; ++i) {
    std::string content;
    for (int line = 0; line < 64; ++line)
      content += "file " + std::to_string(i) + " line " + std::to_string(line) + " of the small update set\n";
    const std::string remote = "F" + std::to_string(i) + ".txt.gz";
    set.AddE(remote, "Data\\F" + std::to_string(i) + ".txt", "1", content);
    peer_files.push_back({remote, peer.path() + remote, peer.path() + "F" + std::to_string(i) + ".txt"});
  }
  set.WriteList();
  peer_files.push_back({"update3.dat", peer.path() + "update3.dat", ""});
  auto server = test_support::FtpServer::Start(test_support::FtpServerKind::kVsftpd, served.path());
  const double peer_seconds = TimePeerFetch(server->port(), peer_files, peer.path());
  double flush_seconds = 0;
  SetInstalledFileFlusher([&flush_seconds](const std::vector<std::string>& paths) {
    const auto start = Clock::now();
    platform::FlushFiles(paths);
    // The run flushes at each save on its way and at its end: all summed.
    flush_seconds += Seconds(start);
  });
  const double engine = TimeEngineUpdate(server->port(), count);
  SetInstalledFileFlusher([](const std::vector<std::string>&) {});
  const double unflushed = TimeEngineUpdate(server->port(), count);
  SetInstalledFileFlusher(nullptr);
  const double cli = TimeCliUpdate(server->port());
  Report((std::to_string(count) + " small E files").c_str(), engine, peer_seconds, cli);
  std::printf("%-28s engine %8.3f s with the flush, %8.3f s without; the flush of %d files alone %8.3f s\n",
              "  flushing installed files", engine, unflushed, count, flush_seconds);
  std::fflush(stdout);
}

void LargeFile(int mib) {
  test_support::TempFolder served, peer;
  {
    std::ofstream big(served.path() + "Big.bin", std::ios::binary);
    std::string block(1 << 20, '\0');
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>((i * 131) >> 3);
    for (int i = 0; i < mib; ++i) big.write(block.data(), block.size());
  }
  const int64_t size = int64_t{mib} << 20;
  test_support::UpdateSet set(served.path());
  set.AddLine("O Big.bin Data\\Big.bin 1 " + std::to_string(size));
  set.WriteList();
  auto server = test_support::FtpServer::Start(test_support::FtpServerKind::kVsftpd, served.path());
  const double peer_seconds = TimePeerFetch(
      server->port(), {{"update3.dat", peer.path() + "update3.dat", ""}, {"Big.bin", peer.path() + "Big.bin", ""}},
      peer.path());
  std::filesystem::remove(peer.path() + "Big.bin");
  const double engine = TimeEngineUpdate(server->port(), 1);
  const double cli = TimeCliUpdate(server->port());
  Report((std::to_string(mib) + " MiB O file").c_str(), engine, peer_seconds, cli);
}

}  // namespace

int main(int argc, char** argv) {
  int files = 1000;
  int big_mib = 1024;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--files") == 0) files = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--big-mib") == 0) big_mib = std::atoi(argv[i + 1]);
  }
  HeadlessBackend backend;
  Application.SetBackend(&backend);
  try {
    if (files > 0) SmallFiles(files);
    if (big_mib > 0) LargeFile(big_mib);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_update: %s\n", e.what());
    return 1;
  }
  std::printf("ratio = engine time / (curl over one connection + gzip -dc per file); lower is better\n");
  return 0;
}
