// Hostile servers: names that climb out of the game folder, size fields
// and byte counts that are no sizes, impossible bundle trailers, and lists
// far larger than any release. No crash, no write outside the game folder,
// bounded memory, and nothing recorded is lost.
#include <unistd.h>

#include <filesystem>

#include "reliability/fault_fixture.h"
#include "reliability/reliability_report.h"
#include "support/bundle_builder.h"
#include "support/temp_folder.h"
#include "trust/sha256.h"

namespace reliability {
namespace {

namespace fs = std::filesystem;
using test_support::BuildBundle;
using test_support::BuildRawBundle;

// Memory a run may take whatever the server sends, in KiB of peak RSS.
constexpr long kSmallRunMemoryKb = RunMemoryBoundKb(64 * 1024);

class HostileTest : public FaultFixture {
 protected:
  HostileTest() : tag_("rl" + std::to_string(getpid()) + "x") {}

  // Adds a gzip-compressed bundle entry; its local name is gone once it
  // has been taken apart.
  void AddBundle(const std::string& type, const std::string& remote, const std::string& local,
                 const std::string& bundle) {
    served_[remote] = GzipBytes(bundle);
    list() += type + " " + remote + " " + local + " 1 " + std::to_string(served_[remote].size()) + "\r\n";
    bundle_locals_.insert(local);
  }
  // Files whose names carry the tag anywhere the hostile names could reach.
  std::vector<std::string> EscapedFiles() const {
    std::vector<std::string> found;
    for (const fs::path& dir : {fs::path(game_dir()).parent_path().parent_path(), fs::path("/")}) {
      for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().find(tag_) != std::string::npos) found.push_back(entry.path());
    }
    return found;
  }
  void Report(const std::string& input, int count, const std::string& outcome) {
    const bool clean = !HasFailure();
    ReportRow(input, count, clean ? outcome : "FAILED: see the test log", clean ? "nothing" : "see the test log");
  }

  const std::string tag_;
};

TEST_F(HostileTest, NamesNeverLeaveTheGameFolder) {
  const std::string t = tag_;
  list() += "O Ok.txt ..\\" + t + "_o.txt 1 3\r\n";
  list() += "E ..\\..\\" + t + "_e.GZP Up.u 1 10\r\n";
  list() += "O /" + t + "_abs.txt " + t + "_abs.txt 1 3\r\n";
  list() += "E C:\\" + t + "_d.GZP " + t + "_d.u 1 10\r\n";
  list() += "O Fine.txt C:\\" + t + "_c.txt 1 4\r\n";
  list() += "U 2 O Ok.txt ..\\" + t + "_u.txt 2 3\r\n";
  served_["Ok.txt"] = "bad";
  served_["Fine.txt"] = "fine";
  AddBundle("C", "Hostile.gz", "Hostile.bnd",
            BuildBundle({{"..\\" + t + "_m.txt", "climb"}, {"/tmp/" + t + "_r.txt", "root"},
                         {"Inside\\In.txt", "inside"}, {"..\\Inside\\..\\..\\" + t + "_n.txt", "nested"}}));
  // The listing names files outside the folder too; nothing fetches them.
  extra_listing_ = "../" + t + "_list.txt\r\n/" + t + "_list2.txt\r\n..\\" + t + "_list3.txt\r\n";

  const ChildResult r = RunAgainst(ServerFault::kNone, "");
  EXPECT_EQ(r.signal, 0) << r.err;
  EXPECT_EQ(r.Lines().back(), "The file is useing") << "the bundle with refused members stops the run: " << r.out;
  for (const std::string& name : {"..\\" + t + "_o.txt", "..\\..\\" + t + "_e.GZP", "/" + t + "_abs.txt",
                                  "C:\\" + t + "_d.GZP", "C:\\" + t + "_c.txt", "..\\" + t + "_m.txt"})
    EXPECT_NE(r.err.find(name), std::string::npos) << name << " not named as refused in: " << r.err;
  EXPECT_EQ(EscapedFiles(), std::vector<std::string>{});
  EXPECT_EQ(Game("Inside/In.txt"), "inside");
  EXPECT_LT(r.max_rss_kb, kSmallRunMemoryKb);
  ExpectNothingRecordedLost();
  Report("names climbing out of the game folder: list (remote and local), changed entry, bundle members, listing",
         13, "refused and named on stderr; the bundle with refused members ends in the in-use stop");
}

// Data is a folder link that leads out of the game folder, Inner one that
// leads to another folder inside it, Linked.txt a file link that leads out.
// Names that pass through Data, or that end in a temporary suffix of the
// updater (which a later sweep would delete), are refused and named.
TEST_F(HostileTest, NamesNeitherPassThroughLinksOutNorTakeTemporaryNames) {
  const test_support::TempFolder outside;
  outside.Write("target.txt", "target");
  fs::create_directories(game_dir() + "Real");
  fs::create_directory_symlink(outside.path(), game_dir() + "Data");
  fs::create_directory_symlink(game_dir() + "Real", game_dir() + "Inner");
  fs::create_symlink(outside.path() + "target.txt", game_dir() + "Linked.txt");
  AddEntry("O", "In.txt", "Inner\\In.txt", "1", "inside", "inside");
  AddEntry("O", "L.txt", "Linked.txt", "1", "linked", "linked");
  AddEntry("O", "X.bin", "Real\\x.bin", "1", "x", "x");
  served_["Out.txt"] = "out";
  served_["Out.GZP"] = GzipBytes("out");
  const std::string gz_size = std::to_string(served_["Out.GZP"].size());
  const std::vector<std::string> refused = {"Data\\o.txt", "data\\New\\e.u", "Data\\Out.GZP",
                                            "Real\\x.bin.UPDTMP", "Out.GZP.dltmp", "y.txt.dltmp.ahead3",
                                            "UPDATE2.DAT", ".\\updtmp.dat"};
  list() += "O Out.txt Data\\o.txt 1 3\r\n";
  list() += "E Out.GZP data\\New\\e.u 1 " + gz_size + "\r\n";
  list() += "E Data\\Out.GZP r.u 1 " + gz_size + "\r\n";
  list() += "O Out.txt Real\\x.bin.UPDTMP 1 3\r\n";
  list() += "E Out.GZP.dltmp d.u 1 " + gz_size + "\r\n";
  list() += "O Out.txt y.txt.dltmp.ahead3 1 3\r\n";
  list() += "O Out.txt UPDATE2.DAT 1 3\r\n";
  list() += "E Out.GZP .\\updtmp.dat 1 " + gz_size + "\r\n";
  AddBundle("C", "Linked.gz", "Linked.bnd",
            BuildBundle({{"Data\\m.txt", "member"}, {"Inner\\m.txt", "member"}, {"update.lck", "member"}}));

  const ChildResult r = RunAgainst(ServerFault::kNone, "");
  EXPECT_EQ(r.signal, 0) << r.err;
  EXPECT_EQ(r.Lines().back(), "The file is useing") << "the bundle with a refused member stops the run: " << r.out;
  for (const std::string& name : refused)
    EXPECT_NE(r.err.find("\"" + name + "\""), std::string::npos) << name << " not named as refused in: " << r.err;
  EXPECT_NE(r.err.find("\"Data\\m.txt\" skipped: its name leads out of the game folder through a link"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("\"update.lck\" skipped: its name is a file the updater keeps its state in"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(outside.Read("target.txt"), "target");
  EXPECT_EQ(std::distance(fs::directory_iterator(outside.path()), fs::directory_iterator()), 1)
      << "nothing written or made outside the game folder";
  EXPECT_EQ(Game("Real/In.txt"), "inside");
  EXPECT_EQ(Game("Real/m.txt"), "member");
  EXPECT_FALSE(fs::is_symlink(game_dir() + "Linked.txt")) << "the link is replaced, not written through";
  EXPECT_EQ(Game("Linked.txt"), "linked");
  EXPECT_EQ(Game("Real/x.bin"), "x");
  EXPECT_FALSE(fs::exists(game_dir() + "Real/x.bin.UPDTMP"));
  for (const char* name : {"UPDTMP", "dltmp", "o.txt", "e.u", "r.u"})
    EXPECT_EQ(Game("update2.dat").find(name), std::string::npos) << name << " recorded";
  ExpectNothingRecordedLost();
  Report("names through a folder link leading out of the game folder (list and bundle member), a file link, "
         "names ending in the updater's temporary suffixes, names of the updater's state files",
         12, "refused and named on stderr; links inside the folder followed; a file link replaced, not written "
            "through");
}

TEST_F(HostileTest, SizeFieldsAndByteCountsThatAreNoSizes) {
  const std::string base = list();
  served_["S.txt"] = "abc";
  struct Case {
    std::string size;
    int exit_code;
    std::string printed;  // "" when the entry is passed over silently
  };
  for (const Case& c : {Case{"abc", 3, "'abc' is not a valid integer value"},
                        Case{"-3", 3, "the server sent 3 bytes of \"S.txt\", not the -3 that its list gives"},
                        Case{"99999999999", 3, "the server sent 3 of the 99999999999 bytes of \"S.txt\""},
                        Case{"4294967299", 3, "the server sent 3 of the 4294967299 bytes of \"S.txt\""},
                        Case{"9223372036854775808", 3, "'9223372036854775808' is not a valid integer value"},
                        Case{"", 3, "''"},
                        Case{"3x", 3, "'3x' is not a valid integer value"}}) {
    SCOPED_TRACE("size field \"" + c.size + "\"");
    list() = base + "O S.txt S.txt 1 " + c.size + "\r\n";
    const ChildResult r = RunAgainst(ServerFault::kNone, "");
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exit_code, c.exit_code) << r.out << r.err;
    if (!c.printed.empty()) {
      EXPECT_TRUE(Printed(r, c.printed) || r.err.find(c.printed) != std::string::npos) << r.out << r.err;
    }
    EXPECT_EQ(Game("update2.dat").find("S.txt"), std::string::npos) << "a size that is no size never installs";
    ExpectNothingRecordedLost();
  }
  {
    SCOPED_TRACE("a byte count in the 150 reply beyond 64 bits");
    list() = base + "O S.txt S.txt 1 3\r\n";
    AddEntry("O", "S.txt", "S.txt", "1", "abc", "abc");
    list() = base + "O S.txt S.txt 1 3\r\n";
    const ChildResult r = RunAgainst(ServerFault::kHugeByteCount, "S.txt");
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(Game("S.txt"), "abc") << "the bytes received decide, not the announcement";
  }
  ExpectNextRunCompletes();
  Report("size fields: not numbers, negative, empty, beyond 32 and 64 bits; a 150 reply count beyond 64 bits", 8,
         "\"'x' is not a valid integer value\" box and the run stops; a negative size is passed over and named; "
         "the received count decides");
}

TEST_F(HostileTest, BundleTrailersWithImpossibleCountsAndRanges) {
  const std::string base = list();
  struct Case {
    std::string name;
    std::string bundle;
    std::string printed;  // in stdout or stderr
  };
  const std::string data = "0123456789";
  int bundles = 0;
  for (const Case& c : {
           Case{"count above 100", BuildRawBundle(data, 101, {}), "Range check error"},
           Case{"count 2^31-1", BuildRawBundle(data, 0x7fffffff, {}), "Range check error"},
           Case{"negative count", BuildRawBundle(data, -5, {{0, 3, "Neg.txt"}}), ""},
           Case{"ranges outside the data",
                BuildRawBundle(data, 4,
                               {{-4, 3, "Before.txt"}, {5, 2, "Backwards.txt"}, {0, 0x7fffffff, "Huge.txt"},
                                {2, 4, "Mid.txt"}}),
                "Huge.txt"},
           Case{"name length above 80", BuildRawBundle(data, 1, {{0, 2, "Long.txt", 200}}), "longer than 80"},
           Case{"shorter than its trailer", std::string(100, 'x'), "Read beyond end of file"},
       }) {
    SCOPED_TRACE(c.name);
    list() = base;
    const std::string stem = "Odd" + std::to_string(++bundles);
    AddBundle("C", stem + ".gz", stem + ".bnd", c.bundle);
    const ChildResult r = RunAgainst(ServerFault::kNone, "");
    EXPECT_EQ(r.signal, 0) << r.err;
    if (!c.printed.empty()) {
      EXPECT_NE((r.out + r.err).find(c.printed), std::string::npos) << r.out << r.err;
    }
    EXPECT_LT(r.max_rss_kb, kSmallRunMemoryKb);
    for (const char* name : {"Before.txt", "Backwards.txt", "Huge.txt", "Long.txt", "Neg.txt"})
      EXPECT_FALSE(fs::exists(game_dir() + name)) << name;
    ExpectNothingRecordedLost();
  }
  EXPECT_EQ(Game("Mid.txt"), "23");
  list() = base;
  ExpectNextRunCompletes();
  Report("bundle trailers: counts above 100 and negative, ranges before, backwards and past the data, "
         "long names, a bundle shorter than its trailer",
         6, "\"Range check error\" / \"Read beyond end of file\" box, or the member skipped and named");
}

std::string Sha256Of(const std::string& bytes) {
  trust::Sha256Stream stream;
  stream.Update(bytes);
  return stream.Final();
}

// Unpacked data the list does not vouch for: more than its installed size
// (a gzip bomb), or other bytes than its installed file's digest. Neither
// is written in place or recorded; each is named, and the run goes on.
TEST_F(HostileTest, UnpacksPastTheirInstalledSizeOrDigestInstallNothing) {
  const std::string base = list();
  const std::string other = TextOfSize(5000, 4);
  // 16 MiB of zeros that pack into some 16 KB; not kept here, since the child
  // run begins as a copy of this process.
  served_["Bomb.GZP"] = GzipBytes(std::string(size_t{16} << 20, '\0'));
  served_["Swap.GZP"] = GzipBytes(other);
  auto line = [&](const std::string& remote, const std::string& local, const std::string& installed_digest,
                  const std::string& installed_size) {
    const std::string& served = served_[remote];
    return "E " + remote + " " + local + " 1 " + std::to_string(served.size()) + " " + Sha256Of(served) + " " +
           installed_digest + " " + installed_size + "\r\n";
  };
  list() += line("Bomb.GZP", "Bomb.u", Sha256Of(std::string(1000, '\0')), "1000");
  list() += line("Swap.GZP", "Swap.u", Sha256Of("what the publisher released"), std::to_string(other.size()));
  const ChildResult r = RunAgainst(ServerFault::kNone, "");
  EXPECT_EQ(r.signal, 0) << r.err;
  EXPECT_EQ(r.exit_code, 3) << r.out << r.err;
  EXPECT_NE(r.err.find("entry \"Bomb.u\" passed over: \"Bomb.GZP\" unpacks to more than the 1000 bytes that its "
                       "list gives"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("entry \"Swap.u\" passed over: the SHA-256 of \"Swap.u\" as it would be installed differs "
                       "from the one its list gives"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.Lines().back(), "files updated") << "the run goes on: " << r.out;
  for (const char* name : {"Bomb.u", "Bomb.u.updtmp", "Bomb.GZP.dltmp", "Swap.u", "Swap.u.updtmp"})
    EXPECT_EQ(Game(name), "<missing>") << name;
  for (const char* name : {"Bomb.u", "Swap.u"})
    EXPECT_EQ(Game("update2.dat").find(name), std::string::npos) << Game("update2.dat");
  EXPECT_LT(r.max_rss_kb, kSmallRunMemoryKb);
  ExpectNothingRecordedLost();
  list() = base;
  ExpectNextRunCompletes();
  Report("\"E\" entries that unpack past their installed size (field 8) or to other bytes than field 7", 2,
         "stopped at the listed size or refused before the rename, named on stderr; nothing installed; exit 3");
}

// A server that closes its control connection after the data connection's
// address was given: the client must not wait for a data connection that
// will never come.
TEST_F(HostileTest, ControlConnectionClosedBeforeTheTransfer) {
  ChildOptions bounded;
  bounded.timeout_ms = 20000;
  {
    SCOPED_TRACE("closed at NLST");
    const ChildResult r = RunAgainst(ServerFault::kCloseAtCommand, "NLST", bounded);
    EXPECT_EQ(r.signal, 0) << "the updater hung: " << r.out;
    EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
    EXPECT_EQ(r.Lines().back(), "Disconnected") << r.out;
    ExpectNothingRecordedLost();
  }
  {
    SCOPED_TRACE("closed at RETR");
    const ChildResult r = RunAgainst(ServerFault::kCloseAtCommand, "RETR B.GZP", bounded);
    EXPECT_EQ(r.signal, 0) << "the updater hung: " << r.out;
    EXPECT_EQ(r.exit_code, 3) << r.out << r.err;
    EXPECT_EQ(r.Lines().back(), "Connection closed by the server") << r.out;
    ExpectNothingRecordedLost();
  }
  ExpectNextRunCompletes();
  Report("control connection closed by the server at \"NLST\" and at \"RETR \"", 2,
         "\"Disconnected\" after the listing; \"Connection closed by the server\" box for a download");
}

TEST_F(HostileTest, AMillionNamesAndAHundredMegabyteList) {
  {
    SCOPED_TRACE("a listing of a million names");
    std::string names;
    names.reserve(24 * 1000000);
    for (int i = 0; i < 1000000; ++i) names += "listed_name_" + std::to_string(1000000 + i) + "\r\n";
    extra_listing_ = std::move(names);
    const ChildResult r = RunAgainst(ServerFault::kNone, "");
    extra_listing_.clear();
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.Lines().back(), "files updated");
    EXPECT_LT(r.max_rss_kb, RunMemoryBoundKb(512 * 1024));
    ReportRow("a listing of a million names (23 MB)", 1,
              "update completes in " + std::to_string(static_cast<int>(r.seconds)) + " s; peak RSS " +
                  std::to_string(r.max_rss_kb / 1024) + " MiB",
              HasFailure() ? "see the test log" : "nothing");
  }
  {
    SCOPED_TRACE("a list file of 100 MB in one line");
    list() = "UPDATE\r\nO " + std::string(100 * 1000 * 1000, 'n') + "\r\n";
    const ChildResult r = RunAgainst(ServerFault::kNone, "");
    EXPECT_EQ(r.signal, 0) << r.err;
    EXPECT_LT(r.max_rss_kb, RunMemoryBoundKb(1024 * 1024));
    ExpectNothingRecordedLost();
    ReportRow("a list file of 100 MB (one line)", 1,
              "exit " + std::to_string(r.exit_code) + " in " + std::to_string(static_cast<int>(r.seconds)) +
                  " s; peak RSS " + std::to_string(r.max_rss_kb / 1024) + " MiB",
              HasFailure() ? "see the test log" : "nothing");
  }
  {
    SCOPED_TRACE("a list file of 100 MB in a million lines");
    std::string big = "UPDATE\r\n";
    big.reserve(100 * 1000 * 1000 + 200);
    for (int i = 0; big.size() < 100 * 1000 * 1000; ++i)
      big += "O Missing" + std::to_string(i) + ".txt Data\\Missing" + std::to_string(i) + ".txt 1 10 " +
             std::string(50, 'p') + "\r\n";
    list() = std::move(big);
    const ChildResult r = RunAgainst(ServerFault::kNone, "");
    EXPECT_EQ(r.signal, 0) << r.err;
    EXPECT_LT(r.max_rss_kb, RunMemoryBoundKb(2 * 1024 * 1024));
    ExpectNothingRecordedLost();
    ReportRow("a list file of 100 MB (a million entries)", 1,
              "exit " + std::to_string(r.exit_code) + " in " + std::to_string(static_cast<int>(r.seconds)) +
                  " s; peak RSS " + std::to_string(r.max_rss_kb / 1024) + " MiB",
              HasFailure() ? "see the test log" : "nothing");
  }
}

}  // namespace
}  // namespace reliability
