// updater-cli's command line as parsed, before anything runs.
#include "frontends/cli/cli_options.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::optional<CliOptions> Parse(std::vector<const char*> args, std::string& error) {
  args.insert(args.begin(), "updater-cli");
  return ParseCliOptions(static_cast<int>(args.size()), args.data(), error);
}

TEST(CliOptionsTest, MaxRate) {
  std::string error;
  const std::optional<CliOptions> none = Parse({"--update"}, error);
  ASSERT_TRUE(none);
  EXPECT_EQ(none->max_rate, std::nullopt) << "the file's setting stays";
  for (const auto& [text, kib] : std::vector<std::pair<const char*, int>>{{"20480", 20480}, {"0", 0}, {"1", 1}}) {
    const std::optional<CliOptions> options = Parse({"--max-rate", text, "--update"}, error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->max_rate, kib);
    EXPECT_TRUE(options->update);
  }
  for (const char* bad : {"-1", "fast", "20k", "", "99999999999"}) {
    SCOPED_TRACE(bad);
    error.clear();
    EXPECT_FALSE(Parse({"--max-rate", bad}, error));
    EXPECT_EQ(error, std::string("--max-rate needs a rate in KiB/s (0 or more), not \"") + bad + "\"");
  }
  EXPECT_FALSE(Parse({"--max-rate"}, error));
  EXPECT_EQ(error, "--max-rate needs a value");
  EXPECT_NE(std::string(CliUsage()).find("--max-rate KIB"), std::string::npos);
}

}  // namespace
