// A session's row of the Sessions History, drawn where the session is counted, in either kind of
// frames, and the cells that both tables draw alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct session;

// How frames are drawn: single KOI8-R bytes 0x80 to 0x8A, or the same box characters in UTF-8.
enum class frames { koi8, utf8 };

// A text of the program's own with its frame bytes drawn as UTF-8 boxes.
std::string in_utf8(std::string_view text);
// The vertical bar between cells.
std::string_view bar(frames f);
// Appends a number right-aligned in `width` bytes (at most 16), as "%*ld" writes it.
void append_number(std::string& out, std::int64_t value, std::size_t width);
// Appends the rest of a session's Sessions History row: stamp, address, direction, counts.
void append_session_cells(std::string& out, const session& s, frames f);
