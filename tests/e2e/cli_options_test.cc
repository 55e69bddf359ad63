// updater-cli's command line as parsed, before anything runs.
#include "frontends/cli/cli_options.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::optional<CliOptions> Parse(std::vector<const char*> args, std::string& error) {
  args.insert(args.begin(), "updater-cli");
  return ParseCliOptions(static_cast<int>(args.size()), args.data(), error);
}

// The options that take a number: each accepts its range, refuses
// anything else with a sentence that names it, and leaves the file's
// setting when absent.
TEST(CliOptionsTest, NumberOptions) {
  struct Case {
    const char* option;
    std::optional<int> CliOptions::*field;
    std::vector<std::pair<const char*, int>> good;
    std::vector<const char*> bad;
    const char* refusal;
  };
  const std::vector<Case> cases = {
      {"--max-rate", &CliOptions::max_rate, {{"20480", 20480}, {"0", 0}, {"1", 1}},
       {"-1", "fast", "20k", "", "99999999999"}, "--max-rate needs a rate in KiB/s (0 or more), not \""},
      {"--connections", &CliOptions::connections, {{"1", 1}, {"4", 4}, {"16", 16}},
       {"0", "17", "-2", "four", ""}, "--connections needs a number from 1 to 16, not \""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    std::string error;
    const std::optional<CliOptions> none = Parse({"--update"}, error);
    ASSERT_TRUE(none);
    EXPECT_EQ((*none).*c.field, std::nullopt) << "the file's setting stays";
    for (const auto& [text, value] : c.good) {
      const std::optional<CliOptions> options = Parse({c.option, text, "--update"}, error);
      ASSERT_TRUE(options) << error;
      EXPECT_EQ((*options).*c.field, value);
      EXPECT_TRUE(options->update);
    }
    for (const char* bad : c.bad) {
      SCOPED_TRACE(bad);
      error.clear();
      EXPECT_FALSE(Parse({c.option, bad}, error));
      EXPECT_EQ(error, std::string(c.refusal) + bad + "\"");
    }
    EXPECT_FALSE(Parse({c.option}, error));
    EXPECT_EQ(error, std::string(c.option) + " needs a value");
    EXPECT_NE(std::string(CliUsage()).find(c.option), std::string::npos);
  }
}

}  // namespace
