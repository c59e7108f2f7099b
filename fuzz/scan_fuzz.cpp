// Fuzzes the block scanner on an arbitrary log: the pieces it yields that hold the done marker must
// be those of the plain reading of reference.h, whole lines or not and first of their lines or not,
// and what the line parser makes of them what the plain parser makes of those; the export's fields
// of each session must give back its stamp and address, byte for byte.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "reference.h"
#include "scan/records.h"
#include "scan/scanner.h"

namespace {

// The bytes of a JSON string that the export wrote, \u00XX taken for byte XX; none where it holds
// a control byte, or an escape the export does not write.
std::optional<std::string> from_json(std::string_view json) {
  std::string text;
  for (std::size_t i = 1; i + 1 < json.size(); ++i) {
    if (static_cast<unsigned char>(json[i]) < 0x20) return std::nullopt;
    if (json[i] != '\\') {
      text += json[i];
    } else if (json[i + 1] == 'u' && json.substr(i + 2, 2) == "00") {
      text += static_cast<char>(std::stoi(std::string(json.substr(i + 4, 2)), nullptr, 16));
      i += 5;
    } else {
      text += json[++i];
    }
  }
  return text;
}

// The bytes of a CSV field that the export wrote, unquoted.
std::string from_csv(std::string_view csv) {
  if (csv.empty() || csv.front() != '"') return std::string(csv);
  std::string text;
  for (std::size_t i = 1; i + 1 < csv.size(); ++i) text += csv[i] == '"' ? csv[i++] : csv[i];
  return text;
}

// Whether the export's fields of a session give back its stamp and address.
bool fields_give_back(const session& s) {
  std::string json;
  std::string csv;
  append_json_string(json, s.stamp);
  append_json_string(json += '\n', s.address);
  append_csv_field(csv, s.stamp);
  append_csv_field(csv += '\n', s.address);
  const std::size_t j = json.find("\"\n\"") + 1;
  const std::size_t c = csv.find('\n');
  return from_json(std::string_view(json).substr(0, j)) == s.stamp && from_json(json.substr(j + 1)) == s.address &&
         from_csv(csv.substr(0, c)) == s.stamp && from_csv(csv.substr(c + 1)) == s.address;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte chooses the block size, from one byte up; the rest is the log.
  std::size_t block = data[0] == 255 ? std::size_t{1} << 20 : std::size_t{data[0]} + 1;
  std::string_view log(reinterpret_cast<const char*>(data + 1), size - 1);
  std::vector<std::string> expected;
  bool line_start = true;  // the piece begins a line
  bool handed = false;     // a piece of its line in which a marker begins came before
  const std::vector<std::string_view> pieces = reference::pieces(log);
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const std::string_view piece = pieces[i];
    const bool ends_line = piece.back() == '\n';
    // A marker that begins in the piece and runs past its end is handed over too.
    const std::size_t at = log.find(done_marker, static_cast<std::size_t>(piece.data() - log.data()));
    if (at != std::string_view::npos && log.data() + at < piece.data() + piece.size()) {
      const bool whole = line_start && (ends_line || i + 1 == pieces.size());
      if (piece.find(done_marker) != std::string_view::npos)
        expected.push_back(std::string(piece) + reference::fields(reference::parse_line(piece, false, "")) +
                           (whole ? "w" : "c") + (handed ? "l" : "f"));
      handed = !ends_line;
    }
    if (ends_line) handed = false;
    line_start = ends_line;
  }
  int fd = memfd_create("log", 0);
  if (fd < 0 || ::write(fd, data + 1, size - 1) != static_cast<ssize_t>(size - 1)) std::abort();
  ::lseek(fd, 0, SEEK_SET);
  block_scanner scanner(fd, block);
  std::vector<std::string> found;
  while (std::optional<std::string_view> piece = scanner.next()) {
    if (piece->find(done_marker) == std::string_view::npos) continue;
    const std::optional<session> s = parse_line(*piece, false, "");
    if (s && !fields_give_back(*s)) std::abort();
    found.push_back(std::string(*piece) + reference::fields(s) + (scanner.whole_line() ? "w" : "c") +
                    (scanner.first_of_line() ? "f" : "l"));
  }
  ::close(fd);
  if (!std::equal(found.begin(), found.end(), expected.begin(), expected.end()) || scanner.failed()) std::abort();
  return 0;
}
