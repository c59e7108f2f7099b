// The compressed formats a log may come in, each told apart by its first bytes.
#pragma once

#include <optional>
#include <string_view>

// How a log's bytes are stored.
enum class compression { none, gzip, zstd, xz, bzip2 };

// The format that a log's first bytes say it is in: none for text, also when the log is shorter
// than the signature it begins like. Nothing yet while the bytes are the start of a signature and
// more_may_come.
std::optional<compression> compression_of(std::string_view head, bool more_may_come);
