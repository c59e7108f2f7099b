// The frames of each destination of a run, by ORNSUM_FRAMES and the locale of the terminal.
#include "report/frames.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace {

// Whether two names are the same but for the case of their letters; `lower` is in lower case.
bool same_name(std::string_view name, std::string_view lower) {
  return std::ranges::equal(name, lower,
                            [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

}  // namespace

std::optional<frame_plan> plan_frames(const char* asked, bool utf8_terminal) {
  const std::string_view name = asked != nullptr ? asked : "";
  if (name.empty()) return frame_plan{utf8_terminal ? frames::utf8 : frames::koi8, frames::koi8};
  if (same_name(name, "utf8") || same_name(name, "utf-8")) return frame_plan{frames::utf8, frames::utf8};
  if (same_name(name, "koi8") || same_name(name, "koi8-r")) return frame_plan{frames::koi8, frames::koi8};
  return std::nullopt;
}

bool utf8_by_name(const char* lc_all, const char* lc_ctype, const char* lang) {
  std::string_view locale;
  for (const char* name : {lc_all, lc_ctype, lang}) {
    if (name != nullptr && *name != '\0') {
      locale = name;
      break;
    }
  }
  // A locale is named language_TERRITORY.codeset@modifier, each part after the first optional.
  const std::size_t dot = locale.find('.');
  if (dot == std::string_view::npos) return false;
  std::string_view codeset = locale.substr(dot + 1);
  codeset = codeset.substr(0, codeset.find('@'));
  return same_name(codeset, "utf-8") || same_name(codeset, "utf8");
}
