#include "update/server_order.h"

#include <gtest/gtest.h>

#include <deque>

#include "platform/errors.h"

namespace {

// Plays back fixed draws and records the bounds it was asked for.
struct ScriptedRandom {
  explicit ScriptedRandom(std::deque<int> scripted = {}) : draws(std::move(scripted)) {}
  std::deque<int> draws;
  std::vector<int> asked;
  RandomSource Source() {
    return [this](int m) {
      asked.push_back(m);
      if (draws.empty()) return 0;
      const int v = draws.front();
      draws.pop_front();
      return v;
    };
  }
};

const LineList kIsp0 = {"Alpha a.example 21 5000 guest", "Beta b.example 21 5000 guest",
                        "Gamma c.example 2121 5000 guest", "end"};

ServerChoice Choice(int index) { return ServerChoice{index, 4, kIsp0}; }

TEST(ServerOrderTest, OtherKeepsAllLinesWithEndLast) {
  ScriptedRandom r({2, 0, 0, 0});
  const LineList order = BuildServerOrder(Choice(3), kIsp0, r.Source());
  EXPECT_EQ(order, (LineList{kIsp0[2], kIsp0[0], kIsp0[1], "end"}));
  EXPECT_EQ(r.asked, (std::vector<int>{3, 2, 1, 0})) << "the last position is never offered";
}

TEST(ServerOrderTest, ChosenEntryGoesFirst) {
  {
    SCOPED_TRACE("entry 2 is tried first without any draw for it");
    ScriptedRandom r({1, 0, 0});
    const LineList order = BuildServerOrder(Choice(2), kIsp0, r.Source());
    EXPECT_EQ(order, (LineList{kIsp0[2], kIsp0[1], kIsp0[0], "end"}));
    EXPECT_EQ(r.asked, (std::vector<int>{2, 1, 0}));
  }
  {
    SCOPED_TRACE("entry 0 kept when the first draw is 60 or more");
    ScriptedRandom r({60, 0, 0});
    const LineList order = BuildServerOrder(Choice(0), kIsp0, r.Source());
    EXPECT_EQ(order.front(), kIsp0[0]);
    EXPECT_EQ(order.back(), "end");
    EXPECT_EQ(r.asked.front(), 100);
  }
  {
    SCOPED_TRACE("entry 0 replaced by a server entry drawn when the first draw is below 60");
    ScriptedRandom r({59, 2, 0, 0});
    const LineList order = BuildServerOrder(Choice(0), kIsp0, r.Source());
    EXPECT_EQ(order, (LineList{kIsp0[2], kIsp0[0], kIsp0[1], "end"}));
    EXPECT_EQ(r.asked[1], 3) << "drawn among the server entries, 'Other' excluded";
  }
}

TEST(ServerOrderTest, ChoiceOfNoEntryIsAnIndexError) {
  ScriptedRandom r;
  try {
    BuildServerOrder(Choice(-1), kIsp0, r.Source());
    ADD_FAILURE() << "no error raised";
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (-1)");
  }
  // isp0.dat shrank since the dialog read it.
  EXPECT_THROW(BuildServerOrder(Choice(2), LineList{"Alpha a 21 1 g", "end"}, r.Source()), EListError);
}

TEST(ServerOrderTest, ClockSeededSourceStaysInRangeAndKeepsEndLast) {
  const RandomSource random = ClockSeededRandom();
  EXPECT_EQ(random(0), 0);
  EXPECT_EQ(random(1), 0);
  int first_was_drawn = 0;
  for (int i = 0; i < 2000; ++i) {
    const int v = random(7);
    ASSERT_GE(v, 0);
    ASSERT_LT(v, 7);
    const LineList order = BuildServerOrder(Choice(0), kIsp0, random);
    ASSERT_EQ(order.size(), kIsp0.size());
    ASSERT_EQ(order.back(), "end");
    if (order.front() != kIsp0[0]) ++first_was_drawn;
  }
  // 60 % redraw, two thirds of which land elsewhere: about 40 % of 2000.
  EXPECT_GT(first_was_drawn, 600);
  EXPECT_LT(first_was_drawn, 1000);
}

}  // namespace
