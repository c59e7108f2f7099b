#include "ornsum.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

command read(std::vector<const char*> args) {
  args.insert(args.begin(), "ornsum");
  return read_command_line(static_cast<int>(args.size()), args.data());
}

struct expected_run {
  const char* log_name;
  const char* out_ses;
  const char* out_nodes;
  bool any_day, q;
};

TEST(read_command_line, fills_the_settings) {
  const std::pair<std::vector<const char*>, expected_run> cases[] = {
      {{"log"}, {"log", nullptr, nullptr, false, false}},
      {{"-dq", "log"}, {"log", nullptr, nullptr, true, false}},
      {{"-qd", "log"}, {"log", nullptr, nullptr, false, true}},
      {{"log1", "-q", "log2"}, {"log2", nullptr, nullptr, false, true}},
      {{"-sA", "-sB", "-nC", "log"}, {"log", "B", "C", false, false}},
      {{"-s", "log"}, {"log", "", nullptr, false, false}},
      {{"-n-s%d x", "-q"}, {nullptr, nullptr, "-s%d x", false, true}},
      {{""}, {"", nullptr, nullptr, false, false}},
  };
  for (const auto& [args, want] : cases) {
    command c = read(args);
    EXPECT_FALSE(c.show_usage);
    EXPECT_EQ(c.invalid_switch, std::nullopt);
    auto text = [](const std::optional<std::string>& s) { return s ? s->c_str() : nullptr; };
    EXPECT_STREQ(text(c.run.log_name), want.log_name);
    EXPECT_STREQ(text(c.run.out_ses), want.out_ses);
    EXPECT_STREQ(text(c.run.out_nodes), want.out_nodes);
    EXPECT_EQ(c.run.any_day, want.any_day);
    EXPECT_EQ(c.run.q, want.q);
  }
}

TEST(read_command_line, stops_at_the_first_invalid_switch) {
  const std::pair<std::vector<const char*>, char> cases[] = {
      {{"-x"}, 'x'}, {{"-D", "log"}, 'D'}, {{"-"}, '\0'}, {{"log", "-z", "-y"}, 'z'}, {{"--", "log"}, '-'},
  };
  for (const auto& [args, letter] : cases) EXPECT_EQ(read(args).invalid_switch, letter) << args[0];
}

TEST(read_command_line, wants_usage_without_arguments) { EXPECT_TRUE(read({}).show_usage); }

}  // namespace
