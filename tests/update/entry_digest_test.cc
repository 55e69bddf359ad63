// The digest of the served file (field 6, after the package of a package
// entry; further on in a "U" line) is checked on the bytes as they arrive,
// before anything is unpacked or installed; the installed file's digest
// (field 7) and size (field 8 of "E") on the unpacked bytes before they
// replace anything (on the download itself for "O"); the listed size on
// the byte count received; and only for the file those bytes went into.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>

#include "support/engine_window.h"
#include "support/fake_transport.h"
#include "trust/sha256.h"
#include "gzip/gzip.h"
#include "update/process_entry.h"

namespace {

std::string Sha256Of(const std::string& bytes) {
  trust::Sha256Stream stream;
  stream.Update(bytes);
  return stream.Final();
}

struct DigestCase {
  const char* name;
  bool signed_set;
  std::string line;  // Served.txt holds "served" (6 bytes), which "E" passes through unpacked
  EntryOutcome outcome;
  const char* refused;  // part of the sentence the view hears; "" = none
  // Where another program puts a file of its own in place of the download
  // once it has arrived (the fake leaves its first third there); "" = none.
  const char* replaced_at = "";
};

class EntryDigestTest : public ::testing::TestWithParam<DigestCase> {};

TEST_P(EntryDigestTest, DigestDecidesBeforeInstalling) {
  const DigestCase& c = GetParam();
  test_support::FakeServer server;
  server.files["Served.txt"] = "served";
  if (*c.replaced_at != '\0') server.replaced_when_received.insert("Served.txt");
  test_support::EngineTestWindow w(test_support::FakeTransportFactory(server));
  w.folder.Write("Local.txt", "old");
  w.RecordList = LineList{"AVWSEN", "Local.txt 1"};
  w.SignedSet = c.signed_set;
  w.NewConnection();

  EXPECT_EQ(ProcessEntry(w, c.line, false), c.outcome);
  const bool installed = c.outcome == EntryOutcome::kInstalled;
  EXPECT_EQ(w.folder.Read("Local.txt"), installed ? "served" : "old");
  EXPECT_EQ(w.RecordList->at(1), installed ? "Local.txt 2" : "Local.txt 1");
  if (*c.refused == '\0') {
    EXPECT_TRUE(w.refused.empty());
    EXPECT_EQ(w.entries_failed, 0);
  } else {
    ASSERT_EQ(w.refused.size(), 1u);
    EXPECT_NE(w.refused[0].find(c.refused), std::string::npos) << w.refused[0];
    EXPECT_EQ(w.entries_failed, 1);
  }
  if (*c.replaced_at != '\0') {
    EXPECT_EQ(w.folder.Read(c.replaced_at), "se") << "the other program's file is left alone";
  } else {
    EXPECT_EQ(w.folder.Read("Local.txt.updtmp"), "<missing>") << "the refused download is removed";
  }
}

std::string UpperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

const std::string kGood = Sha256Of("served");
const std::string kBad = Sha256Of("swappd");

INSTANTIATE_TEST_SUITE_P(
    Lines, EntryDigestTest,
    ::testing::Values(
        DigestCase{"Matching", false, "U 1 O Served.txt Local.txt 2 6 " + kGood, EntryOutcome::kInstalled, ""},
        DigestCase{"Swapped", false, "U 1 O Served.txt Local.txt 2 6 " + kBad, EntryOutcome::kPassedOver,
                   "entry \"Local.txt\" passed over: the SHA-256 of \"Served.txt\" as received differs"},
        DigestCase{"SwappedSigned", true, "U 1 O Served.txt Local.txt 2 6 " + kBad, EntryOutcome::kPassedOver,
                   "differs from the one its list gives"},
        DigestCase{"NoneUnsigned", false, "U 1 O Served.txt Local.txt 2 6", EntryOutcome::kInstalled, ""},
        DigestCase{"NoneSigned", true, "U 1 O Served.txt Local.txt 2 6", EntryOutcome::kPassedOver,
                   "the signed list gives no SHA-256 of \"Served.txt\" (field 6)"},
        DigestCase{"NoDigestTextUnsigned", false, "U 1 O Served.txt Local.txt 2 6 note", EntryOutcome::kInstalled,
                   ""},
        DigestCase{"UpperCaseHexSigned", true, "U 1 O Served.txt Local.txt 2 6 " + UpperCase(kGood),
                   EntryOutcome::kPassedOver, "gives no SHA-256"},
        DigestCase{"Short", false, "U 1 O Served.txt Local.txt 2 12", EntryOutcome::kPassedOver,
                   "entry \"Local.txt\" passed over: the server sent 6 of the 12 bytes of \"Served.txt\" that its "
                   "list gives"},
        DigestCase{"ShortUnpacked", false, "U 1 E Served.txt Local.txt 2 7", EntryOutcome::kPassedOver,
                   "the server sent 6 of the 7 bytes"},
        DigestCase{"InstalledMatches", false, "U 1 O Served.txt Local.txt 2 6 " + kGood + " " + kGood,
                   EntryOutcome::kInstalled, ""},
        DigestCase{"InstalledSwapped", false, "U 1 O Served.txt Local.txt 2 6 " + kGood + " " + kBad,
                   EntryOutcome::kPassedOver,
                   "entry \"Local.txt\" passed over: the SHA-256 of \"Local.txt\" as it would be installed differs"},
        DigestCase{"UnpackedMatches", false, "U 1 E Served.txt Local.txt 2 6 " + kGood + " " + kGood + " 6",
                   EntryOutcome::kInstalled, ""},
        DigestCase{"UnpackedSwapped", true, "U 1 E Served.txt Local.txt 2 6 " + kGood + " " + kBad + " 6",
                   EntryOutcome::kPassedOver, "the SHA-256 of \"Local.txt\" as it would be installed differs"},
        DigestCase{"UnpackedPastItsSize", false, "U 1 E Served.txt Local.txt 2 6 " + kGood + " " + kGood + " 5",
                   EntryOutcome::kPassedOver,
                   "entry \"Local.txt\" passed over: \"Served.txt\" unpacks to more than the 5 bytes"},
        DigestCase{"UnpackedWithoutSize", false, "U 1 E Served.txt Local.txt 2 6 " + kGood + " " + kGood,
                   EntryOutcome::kInstalled, ""},
        DigestCase{"ReplacedAsItArrived", false, "U 1 O Served.txt Local.txt 2 6", EntryOutcome::kPassedOver,
                   "entry \"Local.txt\" passed over: another program replaced the download of \"Served.txt\"",
                   "Local.txt.updtmp"},
        DigestCase{"ReplacedAsItArrivedSigned", true, "U 1 O Served.txt Local.txt 2 6 " + kGood,
                   EntryOutcome::kPassedOver, "another program replaced the download", "Local.txt.updtmp"},
        DigestCase{"ReplacedBeforeUnpacking", false, "U 1 E Served.txt Local.txt 2 6", EntryOutcome::kPassedOver,
                   "another program replaced the download", "Served.txt.dltmp"}),
    [](const ::testing::TestParamInfo<DigestCase>& info) { return std::string(info.param.name); });

// A new package entry carries its digest after the package name.
TEST(EntryDigestPackageTest, PackageDigestFollowsThePackageName) {
  test_support::FakeServer server;
  server.files["Trees.gz"] = "not even gzip";
  test_support::EngineTestWindow w(test_support::FakeTransportFactory(server));
  w.RecordList = LineList{"AVWSEN"};
  w.SignedSet = true;
  w.NewConnection();
  EXPECT_EQ(ProcessEntry(w, "T Trees.gz Trees.bnd 1 13 Trees " + Sha256Of("other bytes!!"), false),
            EntryOutcome::kPassedOver);
  ASSERT_EQ(w.refused.size(), 1u);
  EXPECT_NE(w.refused[0].find("SHA-256 of \"Trees.gz\" as received differs"), std::string::npos) << w.refused[0];
  EXPECT_EQ(w.folder.Read("Trees.gz.dltmp"), "<missing>");
  EXPECT_EQ(*w.RecordList, LineList{"AVWSEN"});
}

// Every type stops before its unpack would leave the disk with less than
// the kept margin: passed over and named, not the in-use stop or an error.
TEST(EntryUnpackRoomTest, UnpackThatWouldFillTheDiskIsPassedOver) {
  test_support::FakeServer server;
  server.files["Served.txt"] = "served";
  test_support::EngineTestWindow w(test_support::FakeTransportFactory(server));
  w.gzip.MeasureFreeSpace = [](const std::string&) { return TGzip::kKeptFree + 5; };
  w.RecordList = LineList{"AVWSEN"};
  w.NewConnection();
  for (const std::string line : {"E Served.txt Local.txt 1 6", "C Served.txt Local.bnd 1 6",
                                 "T Served.txt Local.bnd 1 6 Trees", "U 1 E Served.txt Local.txt 2 6"}) {
    SCOPED_TRACE(line);
    w.refused.clear();
    w.entries_failed = 0;
    if (line[0] == 'U') w.RecordList = LineList{"AVWSEN", "Local.txt 1"};
    const LineList record_before = *w.RecordList;
    EXPECT_EQ(ProcessEntry(w, line, false), EntryOutcome::kPassedOver);
    ASSERT_EQ(w.refused.size(), 1u);
    EXPECT_NE(w.refused[0].find("passed over: unpacking \"Served.txt\" would leave less than 64 MiB free on the disk"),
              std::string::npos)
        << w.refused[0];
    EXPECT_EQ(w.entries_failed, 1);
    EXPECT_EQ(*w.RecordList, record_before);
    for (const char* name : {"Local.txt", "Local.bnd", "Local.txt.updtmp", "Local.bnd.updtmp", "Served.txt.dltmp"})
      EXPECT_EQ(w.folder.Read(name), "<missing>") << name;
  }
}


// Field 9 of "E" and "O" sets or clears the installed file's execute bits
// as it replaces the old file, whatever bits the old file had; a line
// without the flag keeps the old file's bits.
struct ModeCase {
  const char* name;
  std::string line;
  mode_t old_mode;  // 0: no file there before
  mode_t mode;      // 0: a new file's mode (0666 less the umask) with the read bits' execute bits
};

class EntryModeTest : public ::testing::TestWithParam<ModeCase> {};

TEST_P(EntryModeTest, TheFlagDecidesTheExecuteBits) {
  const ModeCase& c = GetParam();
  test_support::FakeServer server;
  server.files["Served.txt"] = "served";
  test_support::EngineTestWindow w(test_support::FakeTransportFactory(server));
  const std::string path = w.folder.path() + "/Local.txt";
  if (c.old_mode != 0) {
    w.folder.Write("Local.txt", "old");
    ASSERT_EQ(::chmod(path.c_str(), c.old_mode), 0);
  }
  w.RecordList = LineList{"AVWSEN", "Local.txt 1"};
  w.NewConnection();

  ASSERT_EQ(ProcessEntry(w, c.line, false), EntryOutcome::kInstalled);
  EXPECT_EQ(w.folder.Read("Local.txt"), "served");
  mode_t expected = c.mode;
  if (expected == 0) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    expected = (0666 & ~mask) | ((0444 & ~mask) >> 2);
  }
  struct stat info;
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, expected);
}

const std::string kDigests = " 6 " + kGood + " " + kGood + " 6";

INSTANTIATE_TEST_SUITE_P(
    Lines, EntryModeTest,
    ::testing::Values(ModeCase{"OSet", "U 1 O Served.txt Local.txt 2" + kDigests + " x", 0644, 0755},
                      ModeCase{"ESet", "U 1 E Served.txt Local.txt 2" + kDigests + " x", 0644, 0755},
                      ModeCase{"SetKeepsAPrivateFilePrivate", "U 1 E Served.txt Local.txt 2" + kDigests + " x", 0600,
                               0700},
                      ModeCase{"OCleared", "U 1 O Served.txt Local.txt 2" + kDigests + " -", 0755, 0644},
                      ModeCase{"ECleared", "U 1 E Served.txt Local.txt 2" + kDigests + " -", 0711, 0600},
                      ModeCase{"NoFlagKeepsTheOldBits", "U 1 E Served.txt Local.txt 2" + kDigests, 0750, 0750},
                      ModeCase{"UnknownFlagKeepsTheOldBits", "U 1 O Served.txt Local.txt 2" + kDigests + " s", 0755,
                               0755},
                      ModeCase{"NewFileSet", "E Served.txt Local.txt 2" + kDigests + " x", 0, 0}),
    [](const ::testing::TestParamInfo<ModeCase>& info) { return std::string(info.param.name); });

}  // namespace
