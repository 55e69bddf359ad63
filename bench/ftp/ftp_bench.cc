// FTP download speed of TFtpClient against curl and lftp, measured in the
// same run against one vsftpd on loopback, all in active mode:
//   - one 1 GiB file: wall time (targets: <= 1.0 x curl, <= 1.1 x lftp) and
//     CPU time (target: <= 1.2 x curl);
//   - 1,000 files of 4 KiB over one control connection: time per file
//     (target: <= 1.0 x curl).
// Every figure is the best of a few runs. Temporary files live under /tmp
// and are removed at the end.
#include <sys/resource.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "ftp/ftp_client.h"
#include "peer_clients.h"
#include "support/ftp_servers.h"

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kBigSize = 1ull << 30;
constexpr int kSmallCount = 1000;
constexpr size_t kSmallSize = 4096;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void WriteBigFile(const std::string& path) {
  std::vector<char> block(8 << 20);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>((i * 2654435761u) >> 13);
  std::ofstream file(path, std::ios::binary);
  for (uint64_t written = 0; written < kBigSize; written += block.size()) file.write(block.data(), block.size());
}

// Connects, downloads every remote name into the matching local file and
// disconnects, as the updater does.
RunCost RunOurs(int port, const std::vector<std::string>& remote, const std::vector<std::string>& local) {
  auto start = std::chrono::steady_clock::now();
  double cpu_start = CpuSeconds();
  TFtpClient client;
  client.Host = "127.0.0.1";
  client.Port = port;
  client.UserID = "anonymous";
  client.Password = "bench@example.com";
  client.Connect();
  for (size_t i = 0; i < remote.size(); ++i) client.Download(remote[i], local[i]);
  client.Disconnect();
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), CpuSeconds() - cpu_start};
}

void Expect(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error(what);
}

struct Best {
  RunCost cost{1e9, 1e9};
  void Take(RunCost run) {
    cost.wall = std::min(cost.wall, run.wall);
    cost.cpu = std::min(cost.cpu, run.cpu);
  }
};

}  // namespace

int main() {
  std::string pattern = "/tmp/ftp_bench.XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return 1;
  const std::string work = pattern, root = work + "/root", out = work + "/out";
  int status = 0;
  try {
    fs::create_directories(root + "/small");
    fs::create_directories(out + "/small");
    WriteBigFile(root + "/big.bin");
    std::vector<std::string> small_names, small_remote, small_local, small_urls;
    std::string small_bytes(kSmallSize, 'x');
    for (int i = 0; i < kSmallCount; ++i) {
      char name[16];
      std::snprintf(name, sizeof(name), "f%04d", i);
      std::ofstream(root + "/small/" + name, std::ios::binary) << small_bytes;
      small_names.push_back(name);
      small_remote.push_back(std::string("small/") + name);
      small_local.push_back(out + "/small/" + name);
    }
    auto server = test_support::FtpServer::Start(test_support::FtpServerKind::kVsftpd, root);
    const std::string base = "ftp://127.0.0.1:" + std::to_string(server->port()) + "/";
    for (const std::string& name : small_remote) small_urls.push_back(base + name);

    Best ours_big, curl_big, lftp_big;
    const std::string big_out = out + "/big.bin";
    for (int run = 0; run < 3; ++run) {
      curl_big.Take(RunCurl({base + "big.bin"}, {big_out}, work));
      Expect(fs::file_size(big_out) == kBigSize, "curl fetched a short file");
      fs::remove(big_out);
      lftp_big.Take(RunLftp(server->port(), ".", {"big.bin"}, out, work));
      Expect(fs::file_size(big_out) == kBigSize, "lftp fetched a short file");
      fs::remove(big_out);
      ours_big.Take(RunOurs(server->port(), {"big.bin"}, {big_out}));
      Expect(fs::file_size(big_out) == kBigSize, "TFtpClient fetched a short file");
      fs::remove(big_out);
    }
    std::printf("1 GiB file, active mode, vsftpd on loopback (best of 3)\n");
    std::printf("  wall: TFtpClient %.3f s, curl %.3f s, lftp %.3f s\n", ours_big.cost.wall, curl_big.cost.wall,
                lftp_big.cost.wall);
    std::printf("  cpu:  TFtpClient %.3f s, curl %.3f s, lftp %.3f s\n", ours_big.cost.cpu, curl_big.cost.cpu,
                lftp_big.cost.cpu);
    std::printf("  wall ratio vs curl %.2f (target <= 1.0), vs lftp %.2f (target <= 1.1)\n",
                ours_big.cost.wall / curl_big.cost.wall, ours_big.cost.wall / lftp_big.cost.wall);
    std::printf("  cpu ratio vs curl %.2f (target <= 1.2)\n", ours_big.cost.cpu / curl_big.cost.cpu);

    Best ours_small, curl_small, lftp_small;
    // Every client creates its files afresh: truncating old ones costs the
    // file system more than the transfer itself.
    auto fresh_output = [&] {
      fs::remove_all(out + "/small");
      fs::create_directories(out + "/small");
    };
    for (int run = 0; run < 5; ++run) {
      fresh_output();
      curl_small.Take(RunCurl(small_urls, small_local, work));
      Expect(fs::file_size(small_local.back()) == kSmallSize, "curl missed a small file");
      fresh_output();
      lftp_small.Take(RunLftp(server->port(), "small", small_names, out + "/small", work));
      Expect(fs::file_size(small_local.back()) == kSmallSize, "lftp missed a small file");
      fresh_output();
      ours_small.Take(RunOurs(server->port(), small_remote, small_local));
      Expect(fs::file_size(small_local.back()) == kSmallSize, "TFtpClient missed a small file");
    }
    auto per_file_ms = [](const Best& best) { return best.cost.wall * 1000 / kSmallCount; };
    std::printf("%d files of 4 KiB over one control connection (best of 5)\n", kSmallCount);
    std::printf("  per file: TFtpClient %.3f ms, curl %.3f ms, lftp %.3f ms\n", per_file_ms(ours_small),
                per_file_ms(curl_small), per_file_ms(lftp_small));
    std::printf("  ratio vs curl %.2f (target <= 1.0), vs lftp %.2f\n", ours_small.cost.wall / curl_small.cost.wall,
                ours_small.cost.wall / lftp_small.cost.wall);
    server->Stop();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "ftp_bench: %s\n", error.what());
    status = 1;
  }
  std::error_code ignored;
  fs::remove_all(work, ignored);
  return status;
}
