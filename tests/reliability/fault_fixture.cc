#include "reliability/fault_fixture.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <sstream>
#include <thread>

#include "support/loopback_port.h"
#include "support/wait_until.h"
#include "trust/sha256.h"

namespace reliability {

std::string GzipBytes(const std::string& data) {
  z_stream stream{};
  deflateInit2(&stream, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, data.size()) + 32, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

std::string TextOfSize(size_t size, int seed) {
  std::string text;
  for (int line = 0; text.size() < size; ++line)
    text += "line " + std::to_string(line) + " of sample " + std::to_string(seed) + "\r\n";
  text.resize(size);
  return text;
}

bool Printed(const ChildResult& result, const std::string& fragment) {
  return result.out.find(fragment) != std::string::npos;
}

FaultFixture::FaultFixture() {
  // Installed and recorded before any fault: it must survive all of them.
  AddEntry("O", "Old.txt", "Old.txt", "1", "old", "old");
  game_.Write("Old.txt", "old");
  game_.Write("update2.dat", "AVWSEN\r\n\r\nOld.txt 1\r\n");
  AddEntry("O", "A.txt", "A.txt", "1", "plain file", "plain file");
  const std::string b = TextOfSize(200000, 2), c = TextOfSize(3000, 3);
  AddEntry("E", "B.GZP", "System\\B.u", "1", GzipBytes(b), b);
  AddEntry("E", "C.GZP", "C.u", "1", GzipBytes(c), c);
}

void FaultFixture::AddEntry(const std::string& type, const std::string& remote, const std::string& local,
                            const std::string& version, const std::string& served, const std::string& installed,
                            bool digests) {
  served_[remote] = served;
  const auto sha256 = [](const std::string& bytes) {
    trust::Sha256Stream stream;
    stream.Update(bytes);
    return stream.Final();
  };
  list_ += type + " " + remote + " " + local + " " + version + " " + std::to_string(served.size()) +
           (digests ? " " + sha256(served) + " " + sha256(installed) : "") + "\r\n";
  std::string real = local;
  std::replace(real.begin(), real.end(), '\\', '/');
  installed_[real] = installed;
  versions_[local] = version;
}

ChildResult FaultFixture::RunAgainst(ServerFault fault, const std::string& target, ChildOptions options,
                                     const std::string& host, int port) {
  std::map<std::string, std::string> files = served_;
  files["update3.dat"] = list_;
  served_bytes_.clear();
  ChildResult result;
  {
    test_support::FtpPeer peer(ServingScript(files, fault, target, extra_listing_, &served_bytes_));
    game_.Write("isp0.dat", "Local " + (host.empty() ? "127.0.0.1" : host) + " " +
                                std::to_string(port >= 0 ? port : peer.port()) + " 2000 anonymous\r\nend\r\n");
    options.args = {"--dir", game_.path(), "--server", "0", "--update"};
    result = RunChild(options);
    // Waits for the script to read what the client sent last; what it
    // found wrong shows in the checks of what the client did.
    (void)peer.Finish();
    commands_ = peer.Commands();
  }  // the peer's thread has ended: served_bytes_ is complete
  return result;
}

std::pair<ChildResult, ChildResult> FaultFixture::RunTwoAtOnce(const std::string& target, bool second_mid_transfer) {
  std::map<std::string, std::string> files = served_;
  files["update3.dat"] = list_;
  TransferGate gate;
  test_support::FtpPeer first_server(ServingScript(files, ServerFault::kPauseMidTransfer, target, "", nullptr, &gate));
  test_support::FtpPeer second_server(ServingScript(files, ServerFault::kPauseMidTransfer, target, "", nullptr, &gate));
  // Entry 0 is never the first one tried when another is chosen.
  game_.Write("isp0.dat", "Spare 127.0.0.1 " + std::to_string(test_support::ClosedLoopbackPort()) +
                              " 2000 anonymous\r\nFirst 127.0.0.1 " + std::to_string(first_server.port()) +
                              " 2000 anonymous\r\nSecond 127.0.0.1 " + std::to_string(second_server.port()) +
                              " 2000 anonymous\r\nend\r\n");
  // One connection each: a scripted server takes one client.
  auto run = [this](const char* server, std::optional<ChildResult>& result, std::atomic<int>& ended) {
    ChildOptions options;
    options.args = {"--dir", game_.path(), "--server", server, "--connections", "1", "--update"};
    result = RunChild(options);
    ++ended;
  };
  std::optional<ChildResult> first, second;
  std::atomic<int> ended{0};
  std::thread first_run([&] { run("1", first, ended); });
  if (second_mid_transfer) {
    EXPECT_TRUE(test_support::WaitUntil([&] { return gate.Reached() || ended > 0; }, "the first run pausing mid-transfer"));
  }
  std::thread second_run([&] { run("2", second, ended); });
  EXPECT_TRUE(test_support::WaitUntil([&] { return ended > 0; }, "a run ending")) << "neither run ended while the transfer paused";
  gate.Open();
  first_run.join();
  second_run.join();
  return {*first, *second};
}

void FaultFixture::ExpectNextRunCompletes(ServerFault fault) {
  const ChildResult next = RunAgainst(fault, "");
  EXPECT_EQ(next.exit_code, 0) << next.out << next.err;
  const std::string last = next.Lines().empty() ? "" : next.Lines().back();
  EXPECT_TRUE(last == "files updated" || last == "No files updateing needed") << next.out;
  ExpectAllInstalledAndRecorded();
}

void FaultFixture::ExpectAllInstalledAndRecorded() {
  for (const auto& [name, bytes] : installed_) EXPECT_TRUE(Game(name) == bytes) << name << " not installed";
  std::string record = Game("update2.dat");
  for (const auto& [local, version] : versions_)
    EXPECT_NE(record.find("\r\n" + local + " " + version + "\r\n"), std::string::npos) << local << " in " << record;
}

void FaultFixture::ExpectNothingRecordedLost() {
  EXPECT_EQ(Game("Old.txt"), "old");
  std::istringstream record(Game("update2.dat"));
  std::string line;
  std::getline(record, line);
  EXPECT_EQ(line, "AVWSEN\r");
  bool old_recorded = false;
  while (std::getline(record, line)) {
    if (line == "\r") continue;
    std::string name = line.substr(0, line.find(' '));
    old_recorded |= line == "Old.txt 1\r";
    if (bundle_locals_.count(name) > 0) continue;
    std::string real = name;
    std::replace(real.begin(), real.end(), '\\', '/');
    const auto expected = installed_.find(real);
    ASSERT_NE(expected, installed_.end()) << "unknown record line " << line;
    EXPECT_TRUE(Game(real) == expected->second) << name << " is recorded but not installed whole";
  }
  EXPECT_TRUE(old_recorded) << Game("update2.dat");
}

}  // namespace reliability
