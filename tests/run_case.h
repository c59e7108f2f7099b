// A table case: one shell command, and all that it must write.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "expected.h"
#include "scratch.h"

// One command and what it must leave behind.
struct run_case {
  std::string name;     // what the case checks, as ctest shows it
  std::string command;  // run by sh in a directory holding `log` and `odd`; fd 3 is a pipe nobody reads
  int status;
  std::string out;  // standard output
  std::string err;  // standard error after the banner; when empty, nothing at all
  std::vector<std::pair<std::string, std::string>> files = {};
};

inline void PrintTo(const run_case& c, std::ostream* os) { *os << c.command; }

// The name of a case in the test's name.
inline std::string case_name(const testing::TestParamInfo<run_case>& info) { return info.param.name; }

// Sanitizers keep memory of their own and reserve address space beyond any small limit.
constexpr bool sanitized = ORNSUM_SANITIZED;

// Runs a case and checks its status, outputs and files.
inline void check(const run_case& c) {
  if (sanitized && (c.command.find("ulimit") != std::string::npos || c.command.find("MALLOC") != std::string::npos ||
                    c.command.find("PEAK") != std::string::npos))
    GTEST_SKIP();
  scratch s;
  s.put("log", example_log);
  s.put("odd", odd_log);
  int pipe_ends[2];
  ASSERT_EQ(::pipe(pipe_ends), 0);
  ::close(pipe_ends[0]);
  outcome o = s.run(c.command, pipe_ends[1]);
  ::close(pipe_ends[1]);
  EXPECT_EQ(o.status, c.status);
  EXPECT_EQ(o.out, c.out);
  EXPECT_EQ(o.err, c.err.empty() ? "" : banner + c.err);
  for (const auto& [name, bytes] : c.files) EXPECT_EQ(s.get(name), bytes) << name;
}
