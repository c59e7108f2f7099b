// The texts that ornsum writes for the tests' logs, and the logs themselves.
#pragma once

#include <string>

#include "scratch.h"

inline const std::string banner =
    "Ornid statistics generator, version 1.50 for Linux \n"
    "Sums up the finished sessions of an Ornid daemon log\n\n";
inline const std::string processing = "Processing file: \"log\"...\n";
inline const std::string done = processing + "Done!\n\n";

inline const std::string example_log =
    "+ 05 Dec 12:34:56 [77] done (from 9:99/9@testnet, OK (120/345 bytes))\n"
    "- 05 Dec 12:35:02 [77] some other line\n"
    "+ 05 Dec 13:00:01 [79] done (to 9:99/8@testnet, OK (0/99 bytes))\n"
    "+ 05 Dec 14:10:30 [80] done (from 9:99/9@testnet, OK (30/5 bytes))\n";
// Counts beyond the 64-bit range, clamped, and totals beyond it, exact; a closing line that does not
// count, empty addresses, and one too long for its cells.
inline const std::string odd_log =
    "+ 05 Dec 12:34:56 [1] done (from a, OK (99999999999999999999/-9223372036854775807 bytes))\n"
    "+ 05 Dec 12:34:57 [2] done (from a, OK (1/-5 bytes))\n"
    "+ 05 Dec 12:34:58 [9] done (nothing to count)\n"
    "+ 05 Dec 12:35:00 [3] done (8:1/1, OK (3/3 bytes))\n"
    "+ 05 Dec 12:35:01 [4] done (xx, OK (4/4 bytes))\n"
    "+ 31 Jan 12:35:02 [5] done (from a-very-long-node-address.example, OK (5/5 bytes))\n";

inline const std::string sessions_head =
    ("\n                           Sessions History\n\n"
     "┌───────┬─────────────────┬────────────────┬───┬──────────┬──────────┐\n"
     "│  No.  │     Session     │    Address     │ D │   Sent   │   Rcvd   │\n"
     "├───────┼─────────────────┼────────────────┼───┼──────────┼──────────┤\n");

// The Sessions History table around rows, then the totals lines, drawn with UTF-8 boxes.
inline std::string sessions(const std::string& rows, const std::string& totals) {
  return sessions_head + rows + "└───────┴─────────────────┴────────────────┴───┴──────────┴──────────┘\n\n" + totals;
}

// The Nodes Statistics table around rows, drawn with UTF-8 boxes.
inline std::string nodes(const std::string& rows) {
  return (
      "\n                 Nodes Statistics\n\n"
      "┌───────┬──────────────────┬──────────┬──────────┐\n"
      "│  No.  │     Address      │   Sent   │   Rcvd   │\n"
      "├───────┼──────────────────┼──────────┼──────────┤\n" +
      rows + "└───────┴──────────────────┴──────────┴──────────┘\n");
}

inline const std::string example_sessions = sessions(
    "│     1 │ 05 Dec 12:34:56 │ 9:99/9         │ i │      120 │      345 │\n"
    "│     2 │ 05 Dec 13:00:01 │ 9:99/8         │ o │        0 │       99 │\n"
    "│     3 │ 05 Dec 14:10:30 │ 9:99/9         │ i │       30 │        5 │\n",
    "Total bytes sent:          150\nTotal bytes rcvd:          449\n");
inline const std::string example_nodes = nodes(
    "│     1 │ 9:99/9           │      150 │      350 │\n"
    "│     2 │ 9:99/8           │        0 │       99 │\n");
inline const std::string example_text = example_sessions + example_nodes + "\n";
inline const std::string example_out = koi8(example_text);
inline const std::string S = koi8(example_sessions + "\n");  // the sessions report
inline const std::string N = koi8(example_nodes + "\n");     // the nodes report
inline const std::string no_session = sessions("", "Total bytes sent:            0\nTotal bytes rcvd:            0\n");
inline const std::string odd_sessions =
    koi8(sessions("│     1 │ 05 Dec 12:34:56 │ a              │ i │9223372036854775807 │-9223372036854775807 │\n"
                  "│     2 │ 05 Dec 12:34:57 │ a              │ i │        1 │       -5 │\n"
                  "│     3 │ 05 Dec 12:35:00 │                │ u │        3 │        3 │\n"
                  "│     4 │ 05 Dec 12:35:01 │                │ u │        4 │        4 │\n"
                  "│     5 │ 31 Jan 12:35:02 │ a-very-long-node-address.example│ i │        5 │        5 │\n",
                  "Total bytes sent: 9223372036854775820\nTotal bytes rcvd: -9223372036854775800\n\n"));
inline const std::string odd_nodes =
    koi8(nodes("│     1 │ a                │9223372036854775808 │-9223372036854775812 │\n"
               "│     2 │                  │        7 │        7 │\n"
               "│     3 │ a-very-long-node-address.example│        5 │        5 │\n") +
         "\n");
inline const std::string stdout_failed = processing + "Cannot write standard output\n\n";

inline const std::string empty_out = koi8(no_session + nodes("") + "\n");
// Sessions closed on 5 December, at noon UTC of that day, where the date is still or already
// 5 December, and in a zone fourteen hours east, where it is the 6th.
inline const std::string on_the_5th = "LD_PRELOAD=$SHIM NOW=1733400000 TZ=UTC ";
inline const std::string on_the_6th = "LD_PRELOAD=$SHIM NOW=1733400000 TZ=XYZ-14 ";
