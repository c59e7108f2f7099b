// The two ways of drawing frames, and which of them each destination of a run gets: the one the
// user names, or else KOI8-R bytes everywhere but on a terminal that shows UTF-8.
#pragma once

#include <optional>

#include "scan/rows.h"

// The frames of each destination of a run.
struct frame_plan {
  frames console;  // standard output's
  frames reports;  // both reports'
};

// The frames of a run, given the value of ORNSUM_FRAMES (null when unset) and whether standard
// output is a terminal that shows UTF-8: "utf8" or "utf-8", "koi8" or "koi8-r", in any case, draws
// those frames everywhere; unset or empty leaves KOI8-R bytes everywhere but on such a terminal.
// None for any other value.
std::optional<frame_plan> plan_frames(const char* asked, bool utf8_terminal);

// Whether the locale named in the environment is UTF-8, for when it cannot be set (not installed
// here): the first of LC_ALL, LC_CTYPE and LANG (null when unset) that is set and not empty decides,
// by its codeset, the part after the dot, being UTF-8 or utf8 in any case ("en_US.UTF-8@euro").
bool utf8_by_name(const char* lc_all, const char* lc_ctype, const char* lang);
