// A session's record for programs to read, JSON Lines or CSV, drawn where the session is counted,
// and the fields that every record draws alike.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct session;

// The formats of the export: none, JSON Lines (one object a line), or CSV (RFC 4180).
enum class record_format { none, jsonl, csv };

// Appends a text of the log as a JSON string: UTF-8 as it stands, and every byte that is no part
// of UTF-8, or a control character, as \u00XX; a quote and a backslash escaped.
void append_json_string(std::string& out, std::string_view text);
// Appends a text of the log as a CSV field: quoted, its quotes doubled, when it holds a comma, a
// quote, a carriage return or a line feed; its bytes as they are.
void append_csv_field(std::string& out, std::string_view text);
// Appends a session's fields after its number: stamp, address, direction, sent and received,
// each after a separator.
void append_session_fields(std::string& out, const session& s, record_format f);
