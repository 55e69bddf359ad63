#include "lists/server_entry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

const std::string kServed(64, 'a');
const std::string kInstalled(64, 'b');
const std::string kIndex(64, 'c');

struct LineCase {
  std::string line;
  ServerEntry fields;  // what ParseServerEntry must find (type, names, sizes, digests, flag, index, further)
};

class ServerEntryLineTest : public ::testing::TestWithParam<LineCase> {};

ServerEntry Entry(char type, std::string remote, std::string local, std::string size_text, int64_t size) {
  ServerEntry entry;
  entry.type = type;
  entry.remote = std::move(remote);
  entry.local = std::move(local);
  entry.version = "2026120800";
  entry.size_text = std::move(size_text);
  entry.size = size;
  return entry;
}

LineCase WithDigests(char type, const std::string& flag) {
  ServerEntry e = Entry(type, "Core.GZP", "System\\Core.u", "1234", 1234);
  e.served_sha256 = kServed, e.installed_sha256 = kInstalled, e.installed_size_text = "5678", e.execute_flag = flag;
  return {std::string(1, type) + " Core.GZP System\\Core.u 2026120800 1234 " + kServed + " " + kInstalled +
              " 5678 " + flag,
          e};
}

TEST_P(ServerEntryLineTest, EveryFieldOnceAndTheSameLineBack) {
  const LineCase& c = GetParam();
  const ServerEntryParse parse = ParseServerEntry(c.line);
  EXPECT_TRUE(parse.Valid()) << parse.reason;
  const ServerEntry& got = parse.entry;
  const ServerEntry& want = c.fields;
  EXPECT_EQ(got.type, want.type);
  EXPECT_EQ(got.remote, want.remote);
  EXPECT_EQ(got.local, want.local);
  EXPECT_EQ(got.version, want.version);
  EXPECT_EQ(got.size_text, want.size_text);
  EXPECT_EQ(got.size, want.size);
  EXPECT_EQ(got.package, want.package);
  EXPECT_EQ(got.served_sha256, want.served_sha256);
  EXPECT_EQ(got.installed_sha256, want.installed_sha256);
  EXPECT_EQ(got.installed_size_text, want.installed_size_text);
  EXPECT_EQ(got.execute_flag, want.execute_flag);
  EXPECT_EQ(got.delta_index_sha256, want.delta_index_sha256);
  EXPECT_EQ(got.further, want.further);
  EXPECT_EQ(FormatServerEntry(got), c.line) << "every byte of a line of single spaces is kept";
}

INSTANTIATE_TEST_SUITE_P(
    EachLayout, ServerEntryLineTest,
    ::testing::Values(
        WithDigests('E', "-"), WithDigests('O', "x"),
        LineCase{"C Maps.bnd.gz Maps.bnd 2026120800 999 " + kServed,
                 [] {
                   ServerEntry e = Entry('C', "Maps.bnd.gz", "Maps.bnd", "999", 999);
                   e.served_sha256 = kServed;
                   return e;
                 }()},
        LineCase{"T Trees.bnd.gz Trees.bnd 2026120800 999 Trees " + kServed,
                 [] {
                   ServerEntry e = Entry('T', "Trees.bnd.gz", "Trees.bnd", "999", 999);
                   e.package = "Trees", e.served_sha256 = kServed;
                   return e;
                 }()},
        // An older list: no digests; what an older publisher put after the package stays.
        LineCase{"W Birds.gz Birds.bnd 2026120800 17 Birds note", [] {
                   ServerEntry e = Entry('W', "Birds.gz", "Birds.bnd", "17", 17);
                   e.package = "Birds", e.served_sha256 = "note";
                   return e;
                 }()},
        LineCase{"O Help.txt Help\\Help.txt 2026120800 80", Entry('O', "Help.txt", "Help\\Help.txt", "80", 80)},
        // The chunk index's digest after the flag, and fields a later
        // publisher adds after it, kept in their order.
        LineCase{WithDigests('O', "-").line + " " + kIndex, [] {
                   ServerEntry e = WithDigests('O', "-").fields;
                   e.delta_index_sha256 = kIndex;
                   return e;
                 }()},
        LineCase{WithDigests('E', "x").line + " " + kIndex + " later more", [] {
                   ServerEntry e = WithDigests('E', "x").fields;
                   e.delta_index_sha256 = kIndex, e.further = {"later", "more"};
                   return e;
                 }()},
        LineCase{"C Maps.gz Maps.bnd 2026120800 5 " + kServed + " extra", [] {
                   ServerEntry e = Entry('C', "Maps.gz", "Maps.bnd", "5", 5);
                   e.served_sha256 = kServed, e.further = {"extra"};
                   return e;
                 }()},
        // Sizes past 31 and 32 bits, up to the last one 64 signed bits hold.
        LineCase{"O Big.pak Big.pak 2026120800 2147483648", Entry('O', "Big.pak", "Big.pak", "2147483648", 2147483648)},
        LineCase{"O Big.pak Big.pak 2026120800 4294967296", Entry('O', "Big.pak", "Big.pak", "4294967296", 4294967296)},
        LineCase{"O Big.pak Big.pak 2026120800 5368709120", Entry('O', "Big.pak", "Big.pak", "5368709120", 5368709120)},
        LineCase{"O Big.pak Big.pak 2026120800 9223372036854775807",
                 Entry('O', "Big.pak", "Big.pak", "9223372036854775807", INT64_MAX)},
        // Not decimal counts: the text stays, the value is none.
        LineCase{"O Big.pak Big.pak 2026120800 9223372036854775808",
                 Entry('O', "Big.pak", "Big.pak", "9223372036854775808", -1)},
        LineCase{"e a b 2026120800 +3", Entry('e', "a", "b", "+3", -1)}));

TEST(ServerEntryTest, LinesThatAreNoEntriesSayWhyAndKeepWhatTheyHave) {
  for (const auto& [line, reason] : std::vector<std::pair<std::string, std::string>>{
           {"", "empty line (the updater queues it as a file with an empty name)"},
           {"   ", "empty line (the updater queues it as a file with an empty name)"},
           {"X a b 1 5", "unknown entry type \"X\""},
           {"EO a b 1 5", "unknown entry type \"EO\""},
           {"E a b 1", "fewer than five fields (type, remote name, local name, version, size)"}}) {
    const ServerEntryParse parse = ParseServerEntry(line);
    EXPECT_FALSE(parse.Valid()) << line;
    EXPECT_EQ(parse.reason, reason) << line;
  }
  const ServerEntryParse short_line = ParseServerEntry("  E  a   b 1 ");
  EXPECT_EQ(short_line.entry.remote, "a");
  EXPECT_EQ(short_line.entry.local, "b");
  EXPECT_EQ(short_line.entry.version, "1");
  EXPECT_EQ(short_line.entry.size, -1);
  EXPECT_EQ(FormatServerEntry(short_line.entry), "E a b 1") << "up to the first missing field";
}

TEST(ServerEntryTest, WhatEachTypeDoesIsDecidedOnce) {
  const EntryHandling nothing{};
  const EntryHandling plain{true, false, false, false};
  const EntryHandling gzip{true, true, false, false};
  const EntryHandling bundle{true, true, true, false};
  const EntryHandling package{true, true, true, true};
  const struct {
    char type;
    EntryHandling when_new, when_changed;
  } cases[] = {
      {'E', gzip, gzip},       {'O', plain, plain},       {'C', bundle, bundle},     {'T', package, nothing},
      {'A', package, nothing}, {'S', package, nothing},   {'W', package, nothing},   {'e', gzip, nothing},
      {'o', plain, nothing},   {'t', package, nothing},   {'X', nothing, nothing},   {'U', nothing, nothing},
      {0, nothing, nothing},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("type '") + c.type + "'");
    EXPECT_EQ(HandlingOf(c.type, false), c.when_new);
    EXPECT_EQ(HandlingOf(c.type, true), c.when_changed);
  }
}

TEST(ServerEntryTest, PendingLinesOfNewAndChangedEntries) {
  const std::string server = WithDigests('E', "x").line;
  {
    SCOPED_TRACE("a changed entry: the server fields follow the record index, digests included");
    const PendingEntry pending = ParsePendingEntry("u  12 " + server);
    EXPECT_TRUE(pending.changed);
    EXPECT_EQ(pending.record_index, "12");
    EXPECT_EQ(pending.server.entry.type, 'E');
    EXPECT_EQ(pending.server.entry.installed_sha256, kInstalled);
    EXPECT_EQ(pending.server.entry.execute_flag, "x");
    EXPECT_EQ(FormatServerEntry(pending.server.entry), server);
    EXPECT_EQ(ChangedPendingLine(12, server), "U 12 " + server);
  }
  {
    SCOPED_TRACE("a changed entry keeps its type as written; a new one is read in upper case");
    EXPECT_EQ(ParsePendingEntry("U 3 o a b 1 5").server.entry.type, 'o');
    EXPECT_EQ(ParsePendingEntry("o a b 1 5").server.entry.type, 'O');
    EXPECT_FALSE(ParsePendingEntry("o a b 1 5").changed);
  }
  SCOPED_TRACE("the comparison's fields of server and record lines");
  EXPECT_EQ(LocalNameOf(server), "System\\Core.u");
  EXPECT_EQ(VersionOf(server), "2026120800");
  EXPECT_EQ(PackageFieldOf("T Trees.gz Trees.bnd 1 5 Trees"), "Trees");
  EXPECT_EQ(PackageFieldOf(server), kServed) << "field 6, whatever the type";
  EXPECT_EQ(RecordLine("System\\Core.u", "2026120800"), "System\\Core.u 2026120800");
  EXPECT_EQ(RecordedNameOf(" System\\Core.u  2026120800"), "System\\Core.u");
  EXPECT_EQ(RecordedVersionOf(" System\\Core.u  2026120800"), "2026120800");
}

}  // namespace
