// The exact text of the Sessions History and Nodes Statistics tables, framed with KOI8-R box bytes
// or with the same boxes in UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "scan/nodes.h"
#include "scan/rows.h"

// Title, top frame, header row and separator of the Sessions History table.
std::string_view sessions_head(frames f);
// Bottom frame of the Sessions History table and the empty line after it.
std::string_view sessions_foot(frames f);
// Title, top frame, header row and separator of the Nodes Statistics table.
std::string_view nodes_head(frames f);
// Bottom frame of the Nodes Statistics table with its line feed.
std::string_view nodes_foot(frames f);

// Appends the cell that opens the Sessions History row of session number `number`.
void append_row_number(std::string& out, std::int64_t number, frames f);
// Appends the Nodes Statistics row at `position` (counted from 1) for an address and its totals.
void append_node_row(std::string& out, std::int64_t position, std::string_view address, total sent, total rcvd,
                     frames f);
// Appends a total right-aligned in `width` bytes, every digit written however many there are.
void append_total_number(std::string& out, total value, std::size_t width);
// Appends a totals line: label, the value right-aligned in 12 columns, a line feed.
void append_total(std::string& out, std::string_view label, total value);
