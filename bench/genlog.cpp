// Writes a synthetic Ornid log of a given size to standard output, the same bytes for the same seed.
// In the first shape about one line in ten closes a session; the others are the daemon's other
// kinds of lines. In the varied shape about one line in seven closes a session, with a status word
// and the S/R field, about 110 bytes; the other lines are of many more kinds and lengths, a few
// longer than a piece.
//
//   genlog <bytes> <addresses> [seed] [varied]
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// splitmix64: small, fast and the same everywhere.
class random_bits {
 public:
  explicit random_bits(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
  }
  std::uint64_t below(std::uint64_t n) { return next() % n; }

 private:
  std::uint64_t state_;
};

void number(std::string& out, std::uint64_t value) {
  char digits[24];
  out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

void two_digits(std::string& out, std::uint64_t value) {
  out += static_cast<char>('0' + value / 10);
  out += static_cast<char>('0' + value % 10);
}

// The node address of index i: zone, net and node, with a point for some.
void address(std::string& out, std::uint64_t i) {
  number(out, 91 + i % 6);
  out += ':';
  number(out, 100 + (i / 6) % 5000);
  out += '/';
  number(out, i / 30000);
  if (i % 7 == 0) {
    out += '.';
    number(out, 1 + i % 13);
  }
}

constexpr std::array<std::string_view, 12> months = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<std::string_view, 6> files = {"mail.pkt",     "news.tic",     "outbound.zip",
                                                   "nodelist.a23", "fileecho.rar", "report.txt"};

// The rest of a line of the first shape, after its pid.
void first_line(std::string& out, random_bits& random, std::uint64_t addresses) {
  const std::uint64_t node = random.below(addresses);
  switch (random.below(10)) {
    case 0:
      out += random.below(2) ? "done (from " : "done (to ";
      address(out, node);
      out += "@testnet, OK (";
      number(out, random.below(2) ? random.below(100000) : random.below(100000000));
      out += '/';
      number(out, random.below(1000000));
      out += " bytes))";
      break;
    case 1:
    case 2:
      out += "incoming from 198.51.";
      number(out, random.below(256));
      out += '.';
      number(out, random.below(256));
      out += " (";
      address(out, node);
      out += ')';
      break;
    case 3:
    case 4:
      out += random.below(2) ? "receiving " : "sending ";
      out += files[random.below(files.size())];
      out += " (";
      number(out, random.below(10000000));
      out += " bytes)";
      break;
    case 5:
      out += "rcvd: ";
      out += files[random.below(files.size())];
      out += " (";
      number(out, random.below(10000000));
      out += ", ";
      number(out, random.below(100000));
      out += ".00 CPS)";
      break;
    case 6:
      out += "call to ";
      address(out, node);
      out += "@testnet";
      break;
    case 7:
      out += "addr: ";
      address(out, node);
      out += "@testnet";
      break;
    case 8:
      out += "SYS Station number ";
      number(out, node);
      out += ", sysop [unknown]";
      break;
    default:
      out += "session with ";
      address(out, node);
      out += " ended: remote closed (timeout 60s)";
      break;
  }
}

constexpr std::array<std::string_view, 5> statuses = {"OK", "OK", "OK", "failed", "aborted"};
constexpr std::array<std::string_view, 4> domains = {"@testnet", "@testnet", "@net", ".example.org@testnet"};
constexpr std::array<std::string_view, 6> options = {"NR", "ND", "MD5", "CRYPT", "GZ", "BZ2"};

// A number of bytes: as often small as large.
std::uint64_t bytes(random_bits& random) {
  return random.below(2) == 0 ? random.below(100000000) : random.below(100000);
}

// The rest of a line of the varied shape, after its pid.
void varied_line(std::string& out, random_bits& random, std::uint64_t addresses) {
  const std::uint64_t node = random.below(addresses);
  if (random.below(7) == 0) {
    out += random.below(2) ? "done (from " : "done (to ";
    address(out, node);
    out += domains[random.below(domains.size())];
    out += ", ";
    out += statuses[random.below(statuses.size())];
    out += ", S/R: ";
    const std::uint64_t sent = bytes(random);
    const std::uint64_t rcvd = bytes(random);
    number(out, sent);
    out += '/';
    number(out, rcvd);
    out += " (";
    number(out, sent);
    out += '/';
    number(out, rcvd);
    out += " bytes))";
    return;
  }
  switch (random.below(14)) {
    case 0:
      out += "incoming from 198.51.";
      number(out, random.below(256));
      out += '.';
      number(out, random.below(256));
      out += " (port ";
      number(out, 1024 + random.below(60000));
      out += ')';
      break;
    case 1:
      out += "trying ";
      address(out, node);
      out += " [203.0.113.";
      number(out, random.below(256));
      out += "]...";
      break;
    case 2:
      out += random.below(2) ? "receiving " : "sending ";
      out += files[random.below(files.size())];
      out += " as ";
      number(out, random.below(100000000));
      out += ".pkt (";
      number(out, bytes(random));
      out += "), ";
      number(out, random.below(100));
      out += " s left";
      break;
    case 3:
      out += random.below(2) ? "rcvd: " : "sent: ";
      out += files[random.below(files.size())];
      out += " (";
      number(out, bytes(random));
      out += ", ";
      number(out, random.below(100000));
      out += ".";
      two_digits(out, random.below(100));
      out += " CPS, ";
      address(out, node);
      out += ")";
      break;
    case 4:
      out += "addr: ";
      for (std::uint64_t n = 1 + random.below(random.below(20) == 0 ? 30 : 4); n > 0; --n) {
        address(out, random.below(addresses));
        out += domains[random.below(domains.size())];
        out += ' ';
      }
      break;
    case 5:
      out += "OPT";
      for (std::uint64_t n = random.below(options.size()); n > 0; --n) {
        out += ' ';
        out += options[random.below(options.size())];
      }
      break;
    case 6:
      out += "SYS Station ";
      number(out, node);
      out += " [BBS, ";
      number(out, random.below(100));
      out += " lines]";
      break;
    case 7:
      out += "ZYZ Sysop of node ";
      number(out, node);
      out += ", (from the nodelist)";
      break;
    case 8:
      out += "remote has ";
      number(out, bytes(random));
      out += "b in ";
      number(out, random.below(20));
      out += " file(s)";
      break;
    case 9:
      out += "pwd protected session (MD5)";
      break;
    case 10:
      out += "session with ";
      address(out, node);
      out += " ended: ";
      out += random.below(2) ? "remote closed (timeout 60s)" : "done, no more files";
      break;
    case 11:
      out += "call to ";
      address(out, node);
      out += "@testnet: connection refused [errno ";
      number(out, random.below(130));
      out += ']';
      break;
    case 12:
      out += "TRF ";
      number(out, bytes(random));
      out += ' ';
      number(out, bytes(random));
      break;
    default:
      out += "VER ornid/1.";
      number(out, random.below(100));
      out += " (linux; binkp/1.1)";
      break;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    (void)std::fputs("usage: genlog <bytes> <addresses> [seed] [varied]\n", stderr);
    return 2;
  }
  const std::uint64_t size = std::strtoull(argv[1], nullptr, 10);
  const std::uint64_t addresses = std::strtoull(argv[2], nullptr, 10);
  random_bits random(argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1);
  const bool varied = argc > 4 && std::string_view(argv[4]) == "varied";
  if (addresses == 0) return 2;

  std::string out;
  std::uint64_t written = 0;
  std::uint64_t seconds = 0;
  while (written < size) {
    out.clear();
    seconds += random.below(20);
    std::uint64_t day = seconds / 86400;
    const char mark = "+-=!?"[random.below(5)];
    out += mark;
    out += ' ';
    two_digits(out, 1 + day % 28);
    out += ' ';
    out += months[(day / 28) % 12];
    out += ' ';
    two_digits(out, seconds / 3600 % 24);
    out += ':';
    two_digits(out, seconds / 60 % 60);
    out += ':';
    two_digits(out, seconds % 60);
    out += " [";
    number(out, 100 + random.below(30000));
    out += "] ";
    if (varied)
      varied_line(out, random, addresses);
    else
      first_line(out, random, addresses);
    out += '\n';
    if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size()) return 1;
    written += out.size();
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
