// The compressed formats a log may come in, each told apart by its first bytes.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

// How a log's bytes are stored: text, a format that is read, or one that is recognised only to be
// refused (compress, pack, lzop and lz4's legacy format, or a zip archive).
enum class compression { none, gzip, zstd, xz, bzip2, lz4, lzip, lzma, refused, archive };

// The bytes that tell any format, but for the frame that follows skippable frames.
constexpr std::size_t signature_size = 13;

// The format that a log's first bytes say it is in: none for text, also when the log is shorter
// than the signature it begins like. Nothing yet while the bytes are the start of a signature, or
// end within the skippable frames of the first 64 KiB, and more_may_come.
std::optional<compression> compression_of(std::string_view head, bool more_may_come);

// Whether the 13 bytes that open a legacy .lzma stream are as the lzma tools write them.
bool lzma_header_plausible(std::string_view header);

// The bytes of text that tell a tar: its first header up to the end of its magic.
constexpr std::size_t tar_opening = 265;

// Whether a log's text opens with a tar header: `ustar` at byte 257, then a NUL (POSIX) or two
// spaces and a NUL (old GNU).
bool tar_header(std::string_view text);
