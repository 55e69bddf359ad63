#include "lists/pending_list.h"

#include <gtest/gtest.h>

#include <random>

#include "support/pending_list_reference.h"
#include "lists/list_file.h"

namespace {

// Compares with the reference and returns the reference result.
PendingEntries ExpectSameResult(const LineList& server, const LineList& record) {
  PendingEntries expected = test_support::nested_loops::Compare(server, record);
  const PendingEntries actual = ComparePendingEntries(server, record);
  EXPECT_EQ(actual.pending, expected.pending);
  EXPECT_EQ(actual.names, expected.names);
  return expected;
}

}  // namespace

TEST(PendingListTest, WorkedExample) {
  const LineList server = {"header", "E Sys.u.gz System\\Sys.u 512 1234", "O Help.txt Help\\Help.txt 101 200"};
  LineList record = {"AVWSEN", "System\\Sys.u 401"};
  const PendingEntries result = ComparePendingEntries(server, record);
  EXPECT_EQ(result.pending, (LineList{"U 1 E Sys.u.gz System\\Sys.u 512 1234", "O Help.txt Help\\Help.txt 101 200"}));
  EXPECT_EQ(result.names, (std::vector<std::string>{"System\\Sys.u", "Help\\Help.txt"}));
}

TEST(PendingListTest, RecordPreparationAndItsConsequences) {
  const LineList server = {"h", "E a.gz A.u 2 10", "O b B.txt 1 10"};
  {
    SCOPED_TRACE("an empty record gets the header and one empty line; all is new");
    LineList record;
    PrepareRecordList(record);
    EXPECT_EQ(record, (LineList{"AVWSEN", ""}));
    EXPECT_EQ(ComparePendingEntries(server, record).pending, (LineList{server[1], server[2]}));
  }
  {
    SCOPED_TRACE("a header alone gets one empty line, whatever the header says");
    LineList record = {"anything"};
    PrepareRecordList(record);
    EXPECT_EQ(record, (LineList{"anything", ""}));
  }
  {
    SCOPED_TRACE("a record with entries is left alone");
    LineList record = {"AVWSEN", "A.u 1"};
    PrepareRecordList(record);
    EXPECT_EQ(record, (LineList{"AVWSEN", "A.u 1"}));
  }
  {
    SCOPED_TRACE("unprepared records of fewer than two lines queue nothing");
    EXPECT_TRUE(ComparePendingEntries(server, {}).pending.empty());
    EXPECT_TRUE(ComparePendingEntries(server, {"AVWSEN"}).names.empty());
  }
  {
    SCOPED_TRACE("a server list of its header alone queues nothing");
    EXPECT_TRUE(ComparePendingEntries({"h"}, {"AVWSEN", "A.u 1"}).pending.empty());
    EXPECT_TRUE(ComparePendingEntries({}, {"AVWSEN", "A.u 1"}).pending.empty());
  }
}

TEST(PendingListTest, NamesVersionsAndEmptyLines) {
  {
    SCOPED_TRACE("byte-order versions: later date, 2 against 10, equal, lower");
    const LineList server = {"h", "E x A 20240102 1", "E x B 2 1", "E x C 5 1", "E x D 3 1"};
    const LineList record = {"AVWSEN", "A 20231231", "B 10", "C 5", "D 4"};
    EXPECT_EQ(ComparePendingEntries(server, record).pending,
              (LineList{"U 1 E x A 20240102 1", "U 2 E x B 2 1"}));
  }
  {
    SCOPED_TRACE("bytes above 0x7F are greater than ASCII, and a longer text beats its prefix");
    const LineList server = {"h", "E x A \xA4 1", "E x B 10 1", "E x C 1 1"};
    const LineList record = {"AVWSEN", "A 9", "B 1", "C 10"};
    EXPECT_EQ(ComparePendingEntries(server, record).pending, (LineList{"U 1 E x A \xA4 1", "U 2 E x B 10 1"}));
  }
  {
    SCOPED_TRACE("case of a-z ignored; the first record occurrence decides");
    const LineList server = {"h", "T x Textures\\Abc.utx 2 1"};
    EXPECT_EQ(ComparePendingEntries(server, {"AVWSEN", "TEXTURES\\abc.UTX 1", "textures\\abc.utx 0"}).pending,
              (LineList{"U 1 T x Textures\\Abc.utx 2 1"}));
    EXPECT_TRUE(ComparePendingEntries(server, {"AVWSEN", "Textures\\ABC.utx 3", "Textures\\abc.utx 1"}).pending.empty());
  }
  {
    SCOPED_TRACE("a server name twice is compared twice");
    const LineList server = {"h", "O x N 1 1", "O x n 2 1"};
    EXPECT_EQ(ComparePendingEntries(server, {"AVWSEN", "Other 1"}).names, (std::vector<std::string>{"N", "n"}));
  }
  {
    SCOPED_TRACE("a blank server line has an empty name: new against names, matched by an empty line");
    const LineList server = {"h", "", "E x A 1 1"};
    const PendingEntries against_names = ComparePendingEntries(server, {"AVWSEN", "A 0"});
    EXPECT_EQ(against_names.pending, (LineList{"", "U 1 E x A 1 1"}));
    EXPECT_EQ(against_names.names, (std::vector<std::string>{"", "A"}));
    EXPECT_EQ(ComparePendingEntries(server, {"AVWSEN", "", "A 0"}).pending, (LineList{"U 2 E x A 1 1"}));
  }
}

TEST(PendingListTest, SameResultAsTheNestedLoopsOnRandomLists) {
  std::mt19937 random(20240611);
  const std::vector<std::string> names = {"System\\Core.u", "SYSTEM\\core.U", "system\\Core.u", "a", "A",
                                          "Tex\\abc.utx", "\xA4\x61.gz", "\xA4\x41.GZ", "\xA4\x61.GZ", "b"};
  const auto pick = [&random](size_t count) { return std::uniform_int_distribution<size_t>(0, count - 1)(random); };
  const auto version = [&] {
    static const int widths[] = {0, 1, 1, 2, 3, 8};
    std::string text;
    for (int i = widths[pick(6)]; i > 0; --i) text += static_cast<char>('0' + pick(10));
    return text;
  };
  const auto spaces = [&] { return std::string(1 + (pick(4) == 0 ? pick(3) : 0), ' '); };

  // How often each outcome occurred, so the random lists are known to reach them all.
  int changed = 0, added = 0, not_queued = 0, empty_names = 0;
  for (int round = 0; round < 3000; ++round) {
    LineList server = {"header"};
    for (size_t i = pick(12); i > 0; --i) {
      if (pick(10) == 0) {
        server.push_back(pick(2) ? "" : "  ");
      } else {
        server.push_back("E" + spaces() + "x.gz" + spaces() + names[pick(names.size())] + spaces() + version() +
                         spaces() + "100");
      }
    }
    LineList record;
    if (pick(15) != 0) record.push_back("AVWSEN");
    for (size_t i = pick(10); i > 0 && !record.empty(); --i) {
      if (pick(8) == 0) {
        record.push_back("");
      } else {
        record.push_back((pick(4) == 0 ? " " : "") + names[pick(names.size())] + spaces() + version());
      }
    }
    if (pick(2)) PrepareRecordList(record);
    SCOPED_TRACE("round " + std::to_string(round));
    const PendingEntries result = ExpectSameResult(server, record);
    if (::testing::Test::HasFailure()) break;
    for (const std::string& line : result.pending) (line.rfind("U ", 0) == 0 ? changed : added) += 1;
    for (const std::string& name : result.names) empty_names += name.empty();
    not_queued += static_cast<int>(server.size() - 1 - result.pending.size());
  }
  EXPECT_GT(changed, 1000);
  EXPECT_GT(added, 1000);
  EXPECT_GT(not_queued, 1000);
  EXPECT_GT(empty_names, 100);
}

TEST(PendingListTest, SameResultAsTheNestedLoopsOnLargeLists) {
  // Many distinct names, so the index grows and its probe chains are walked.
  std::mt19937 random(7);
  const auto pick = [&random](size_t count) { return std::uniform_int_distribution<size_t>(0, count - 1)(random); };
  const auto name = [&] {
    std::string text = "Dir" + std::to_string(pick(10)) + "\\file" + std::to_string(pick(60)) + ".u";
    for (char& c : text) {
      if (pick(3) == 0 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
  };
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    LineList server = {"header"}, record = {"AVWSEN"};
    for (int i = 0; i < 600; ++i) record.push_back(name() + " " + std::to_string(10 + pick(90)));
    for (int i = 0; i < 600; ++i) server.push_back("C x " + name() + " " + std::to_string(10 + pick(90)) + " 1");
    const PendingEntries result = ExpectSameResult(server, record);
    EXPECT_GT(result.pending.size(), 100u);
    EXPECT_LT(result.pending.size(), 500u);
  }
}
