// Session closing lines of the Ornid log: recognising them and taking them apart.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

// The most bytes of a line one piece holds: a line is read in pieces of this many bytes, the
// last one up to and including its line feed.
inline constexpr std::size_t piece_limit = 254;

// The text that marks the line closing a finished session.
inline constexpr std::string_view done_marker = "] done (";

// One finished session; the texts are views into the piece it was parsed from.
struct session {
  std::string_view stamp;    // time stamp text, up to the first '[' after the first word
  std::string_view address;  // remote address, its leading space kept, the '@' domain dropped
  char dir = 'u';            // 'i' incoming, 'o' outgoing, 'u' not determined
  std::int64_t sent = 0;     // bytes sent
  std::int64_t rcvd = 0;     // bytes received
};

// Reads one piece of the log (at most 254 bytes of a line); yields the session it closes, if any.
// With any_day set, a session whose stamp does not hold today is not taken.
std::optional<session> parse_line(std::string_view piece, bool any_day, std::string_view today);

// The names of the months as stamps write them.
inline constexpr std::array<std::string_view, 12> mnames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The day of `now` in the local time zone as "DD Mon" ("05 Dec"); none when it cannot be broken down.
std::optional<std::string> today_text(std::time_t now);
