// Fuzzes the whole scan of an arbitrary log: the block scanner against the piece-by-piece reader,
// the same sessions in the same order and the same node table.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "nodes.h"
#include "parse.h"
#include "pieces.h"
#include "scanner.h"

namespace {

struct outcome {
  std::vector<std::string> sessions;
  std::vector<entry> nodes;
};

template <typename Reader>
outcome scan(Reader& reader) {
  outcome o;
  node_table table;
  while (std::optional<std::string_view> piece = reader.next()) {
    std::optional<session> s = parse_line(*piece, false, "");
    if (!s) continue;
    o.sessions.push_back(std::string(s->stamp) + '|' + std::string(s->address) + '|' + s->dir + '|' +
                         std::to_string(s->sent) + '|' + std::to_string(s->rcvd));
    table.add_node_bytes(s->address, s->sent, s->rcvd);
  }
  o.nodes = table.entries();
  return o;
}

bool same(const outcome& a, const outcome& b) {
  if (a.sessions != b.sessions || a.nodes.size() != b.nodes.size()) return false;
  for (std::size_t i = 0; i < a.nodes.size(); ++i) {
    if (a.nodes[i].address != b.nodes[i].address || a.nodes[i].sent != b.nodes[i].sent ||
        a.nodes[i].rcvd != b.nodes[i].rcvd)
      return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte chooses the block size, from one byte up; the rest is the log.
  std::size_t block = data[0] == 255 ? std::size_t{1} << 20 : std::size_t{data[0]} + 1;
  int fd = memfd_create("log", 0);
  if (fd < 0 || ::write(fd, data + 1, size - 1) != static_cast<ssize_t>(size - 1)) std::abort();
  ::lseek(fd, 0, SEEK_SET);
  piece_reader reader(fd);
  outcome expected = scan(reader);
  ::lseek(fd, 0, SEEK_SET);
  block_scanner scanner(fd, block);
  outcome found = scan(scanner);
  ::close(fd);
  if (!same(expected, found) || reader.failed() || scanner.failed()) std::abort();
  return 0;
}
