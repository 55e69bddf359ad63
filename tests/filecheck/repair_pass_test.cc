// The repair by base name over any transport: from the server folder's
// listing, or, over a transport without one, from the remote names of the
// server list.
#include "filecheck/repair_pass.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/engine_window.h"
#include "support/fake_transport.h"

namespace {

class RepairOverAnyTransportTest : public ::testing::TestWithParam<bool> {};

TEST_P(RepairOverAnyTransportTest, AFileIsRepairedFromTheNamesTheServerOffers) {
  const bool lists = GetParam();
  test_support::FakeServer server;
  server.lists_names = lists;
  server.files["Map.txt"] = "new map";
  test_support::EngineTestWindow w(test_support::FakeTransportFactory(server));
  w.folder.Write("Data/Map.txt", "old");
  w.folder.Write("Data/Gone.txt", "old");
  Transport& connection = *w.NewConnection();
  connection.Connect({"127.0.0.1", 21, 1000, "guest", ""});
  if (connection.HasNameListing()) connection.ListNames();
  w.ServerList = LineList{"H", "O Map.txt Data\\Map.txt 1 7"};
  const RepairResult result = RepairFiles(w, {{"Data\\Map.txt", w.folder.path() + "Data/Map.txt"},
                                              {"Data\\Gone.txt", w.folder.path() + "Data/Gone.txt"}});
  EXPECT_EQ(w.folder.Read("Data/Map.txt"), "new map");
  EXPECT_EQ(w.folder.Read("Data/Gone.txt"), "old");
  EXPECT_EQ(result.unrepaired, std::vector<std::string>{w.folder.path() + "Data/Gone.txt"})
      << "a file the server offers nothing for stays wrong";
  EXPECT_EQ(server.Requests(), lists ? (std::vector<std::string>{"login guest", "list", "get Map.txt"})
                                     : (std::vector<std::string>{"login guest", "get Map.txt"}));
}

INSTANTIATE_TEST_SUITE_P(Listing, RepairOverAnyTransportTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "WithListing" : "WithoutListing";
                         });

}  // namespace
