// Compressed logs: each format read as its text, from a file or a pipe, and damage told.
#include "run_case.h"

namespace {

// n copies of text.
std::string repeat(int n, const std::string& text) {
  std::string all;
  while (n-- > 0) all += text;
  return all;
}

// clang-format off
const run_case cases[] = {
    // A compressed log of two members or frames, the first of more text than a block, reads as its
    // decompressed text through a pipe.
    {"compressed_members_read_as_pipe", "{ cat log; seq 250000; cat log; } >l2; for z in gzip zstd xz bzip2 lz4 lzip; do $z -c l2 >c; $z -c log >>c; "
     "ornsum -sA -nB c >o1 2>/dev/null; echo $?; "
     "$z -dc c | ornsum -sC -nD /dev/stdin >o2 2>/dev/null; cmp A C && cmp B D && cmp o1 o2 && echo same; done",
     0, "0\nsame\n0\nsame\n0\nsame\n0\nsame\n0\nsame\n0\nsame\n", ""},
    // An empty member, stream or frame, first or last, adds nothing.
    {"compressed_empty_members", "ornsum -q -sS log 2>/dev/null; for z in gzip zstd xz bzip2 lz4 lzip lzma; do "
     "{ $z -c </dev/null; $z -c log; $z -c </dev/null; } >c; ornsum -q -sT c 2>/dev/null; echo $?; cmp S T && echo same; done",
     0, "\n" + repeat(7, "\n0\nsame\n"), ""},
    // The blocks of an xz stream that records their sizes are decoded on several threads, as one
    // thread decodes them; cut short or damaged in a middle block, it is damage all the same.
    {"xz_blocks_on_threads", "{ cat log; seq 250000; cat log; } >l2; xz -T2 --block-size=65536 -c l2 >c; xz -c log >>c; "
     "xz -dc c >t; ornsum -sA -nB t >o1 2>/dev/null; for n in 1 2 8; do LD_PRELOAD=$SHIM CPUS=$n ornsum -sC -nD c >o2 2>/dev/null; "
     "echo $?; cmp A C && cmp B D && cmp o1 o2 && echo same; done; n=$(wc -c <c); head -c $((n / 2)) c >h; "
     "cp c d; printf X | dd of=d bs=1 seek=$((n / 2)) conv=notrunc 2>/dev/null; for f in h d; do "
     "LD_PRELOAD=$SHIM CPUS=2 ornsum -q $f 2>e; echo \"$? $(grep -c \"Cannot read file: \\\"$f\\\"\" e)\"; done",
     0, "0\nsame\n0\nsame\n0\nsame\n\n2 1\n\n2 1\n", ""},
    // An empty member, stream or frame cut short after a whole one is damage too.
    {"compressed_empty_member_cut", "ornsum -q -sS log 2>/dev/null; for z in gzip zstd xz bzip2 lz4 lzip lzma; do "
     "{ $z -c log; $z -c </dev/null | head -c 7; } >c; ornsum -q -sT c 2>e; echo \"$? $(grep -c 'Cannot read file: \"c\"' e)\"; "
     "cmp S T && echo same; done", 0, "\n" + repeat(7, "\n2 1\nsame\n"), ""},
    // Cut short at three places, or with a byte changed, each format fails to read.
    {"compressed_cut_or_damaged", "for z in gzip zstd xz bzip2 lz4 lzip lzma; do $z -c log >c; n=$(wc -c <c); for cut in 14 $((n / 2)) $((n - 1)); do "
     "head -c $cut c >t; ornsum -q t 2>e; echo \"$? $(grep -c 'Cannot read file: \"t\"' e)\"; done; cp c t; "
     "printf X | dd of=t bs=1 seek=$((n / 2)) conv=notrunc 2>/dev/null; ornsum -q t 2>e; "
     "echo \"$? $(grep -c 'Cannot read file: \"t\"' e)\"; done", 0,
     repeat(28, "\n2 1\n"), ""},
    // A second member, stream or frame cut 1, 2, 3 or 7 bytes in, which are also the first bytes of
    // its magic or header as stray bytes after the last, is damage after the first's rows, as each
    // format's own tool calls it.
    {"compressed_second_member_cut_early", "ornsum -q -sS log 2>/dev/null; for z in gzip zstd xz bzip2 lz4 lzip lzma; do for k in 1 2 3 7; do "
     "{ $z -c log; $z -c log | head -c $k; } >c; ornsum -q -sT c 2>e; echo \"$? $(grep -c 'Cannot read file: \"c\"' e)\"; "
     "cmp S T && echo same; done; done", 0, "\n" + repeat(28, "\n2 1\nsame\n"), ""},
    // Read failing in the second member, each format gives the text of the first.
    {"compressed_read_fails_in_second_member", "ornsum -q -sS log 2>/dev/null; for z in gzip zstd xz bzip2 lz4 lzip lzma; do { $z -c log; seq 99999 | $z -c; } >c; "
     "LD_PRELOAD=$SHIM READ_FAULT_AT=$(($($z -c log | wc -c) + 99)) ornsum -q -sT c 2>e; "
     "echo \"$? $(grep -c 'Cannot read file: \"c\"' e)\"; cmp S T && echo same; done",
     0, "\n" + repeat(7, "\n2 1\nsame\n"), ""},
    // Zero bytes after the last gzip member or bzip2 or xz stream are padding; anything after them,
    // and the zeros of the other formats, are damage.
    {"compressed_padding", "for z in gzip bzip2 xz zstd lz4 lzip lzma; do $z -c log >c; head -c 512 /dev/zero >>c; ornsum -q c 2>e; echo $?; "
     "printf X >>c; ornsum -q c 2>e; echo \"$? $(grep -c 'Cannot read file: \"c\"' e)\"; done", 0,
     repeat(3, "\n0\n\n2 1\n") + repeat(4, "\n2\n\n2 1\n"), ""},
    // bzip2 blocks decoded on several CPUs give what one CPU gives, libbz2 in sequence, and judge
    // damage as bzip2 -t does: streams of levels 1 and 9 with an empty one among them, the last
    // larger than what is held ahead of the reading; damage in the CRC of a block past that, in the
    // stream's CRC and in the first magic, and a cut; from a file or a pipe, in 48 MiB.
    {"bzip2_blocks_on_cpus_as_in_sequence", R"(seq 30000 | sed 's|.*|+ 05 Dec 12:34:56 [&] done (from 9:&, OK (&/7 bytes))|' >t; )"
     R"(bzip2 -1 -c t >s1; : | bzip2 -c >e; head -c 4600000 /dev/urandom | base64 -w 180 | )"
     R"(sed 's|^|+ 05 Dec 12:34:56 [1] done (from 9:99/9@testnet, OK (1/7 bytes)) |' | bzip2 -9 >s9; cat s1 e s9 >all; )"
     R"(n=$(($(wc -c <s1) + $(wc -c <e))); m=$(wc -c <all); b=$(bzip2recover s9 2>&1 | awk '/runs from/{b[++k]=$5} END{print b[k-1]}'); )"
     R"(flip() { cp all $1; dd if=all bs=1 skip=$2 count=1 2>/dev/null | tr '\000-\377' '\001-\377\000' | )"
     R"(dd of=$1 bs=1 seek=$2 conv=notrunc 2>/dev/null; }; flip crc $((n + (b + 5) / 8)); flip end $((m - 3)); flip magic 6; )"
     R"(head -c $((m * 9 / 10)) all >cut; for f in all crc end magic cut; do LD_PRELOAD=$SHIM CPUS=1 ornsum -sA -nB $f >o1 2>/dev/null; )"
     R"(s=$?; bzip2 -t $f 2>/dev/null; echo $s $?; LD_PRELOAD=$SHIM CPUS=8 PEAK=1 ornsum -sC -nD $f >o2 2>/dev/null; )"
     R"(cmp -s A C && cmp -s B D && cmp -s o1 o2 || echo $f; test $(cat peak) -le 49152 || echo $f: $(cat peak) KiB; )"
     R"(cat $f | LD_PRELOAD=$SHIM CPUS=2 ornsum -sC -nD /dev/stdin >o2 2>/dev/null; cmp -s A C && cmp -s B D && cmp -s o1 o2 || echo $f pipe; done)",
     0, "0 0\n2 2\n2 2\n2 2\n2 2\n", ""},
    // Blocks whose runs make 46 MB of text each, of one byte or of long lines, are read in 48 MiB.
    {"bzip2_long_runs_in_48_mib", R"(head -c 100000000 /dev/zero | bzip2 -9 >z; yes -- $(printf '%01000d' 0 | tr 0 -) | )"
     R"(head -n 100000 | bzip2 -9 >d; for f in z d; do for c in 1 2 8; do LD_PRELOAD=$SHIM CPUS=$c PEAK=1 ornsum -q $f 2>/dev/null; )"
     R"(echo $?; test $(cat peak) -le 49152 || echo $f $c: $(cat peak) KiB; done; done)",
     0, repeat(6, "\n0\n"), ""},
    // A gzip member with a name, a comment and a header CRC, its header split by the pipe at every byte.
    {"gzip_header_split_everywhere", "ornsum -q -sS log 2>/dev/null; { printf '\\037\\213\\010\\032\\0\\0\\0\\0\\0\\003log\\0c\\0\\200\\130'; "
     "gzip -c -n log | tail -c +11; } >m; for k in $(seq 26); do cat m | LD_PRELOAD=$SHIM READ_SPLIT=$k "
     "ornsum -q -sT /dev/stdin >/dev/null 2>&1; cmp S T || echo $k; done", 0, "\n", ""},
    // Headers over 64 KiB with a header CRC, as gzip -t reads them: an extra field of 65,535 bytes,
    // and a name of 300,000; from a file and a pipe. One wrong bit of the CRC is damage.
    {"gzip_long_headers", "ornsum -q -sS log 2>/dev/null; gzip -c -n log | tail -c +11 >body; "
     "{ printf '\\037\\213\\010\\006\\0\\0\\0\\0\\0\\003\\377\\377'; head -c 65535 /dev/zero | tr '\\0' x; printf '\\323\\100'; cat body; } >x.gz; "
     "{ printf '\\037\\213\\010\\012\\0\\0\\0\\0\\0\\003'; head -c 300000 /dev/zero | tr '\\0' n; printf '\\0\\226\\325'; cat body; } >n.gz; "
     "for f in x.gz n.gz; do ornsum -q -sT $f 2>/dev/null; cmp S T && echo same; cat $f | ornsum -q -sT /dev/stdin 2>/dev/null; "
     "cmp S T && echo same; done; head -c 300011 n.gz >w.gz; printf '\\227\\325' >>w.gz; cat body >>w.gz; ornsum -q w.gz", 2,
     "\n" + repeat(4, "\nsame\n") + "\n", "Processing file: \"w.gz\"...\nCannot read file: \"w.gz\"\n\nornsum: \"w.gz\": damaged, cut short, or too large to decode in the memory allowed\n"},
    // A gzip header of a method other than deflate is damage.
    {"gzip_other_method_refused", R"(gzip -c log | { printf '\037\213\011'; tail -c +4; } >t; ornsum -q -sT t)", 2, "\n",
     "Processing file: \"t\"...\nCannot read file: \"t\"\n\nornsum: \"t\": damaged, cut short, or too large to decode in the memory allowed\n", {{"T", koi8(no_session + "\n")}}},
    // The header of a second .lzma stream split by the pipe is read whole.
    {"lzma_second_header_split", "cat log log >l2; ornsum -q -sS l2 2>/dev/null; lzma -c log >a; cat a a | "
     "LD_PRELOAD=$SHIM READ_SPLIT=$(($(wc -c <a) + 5)) ornsum -q -sT /dev/stdin 2>/dev/null; cmp S T && echo same",
     0, "\n\nsame\n", ""},
    // Bytes after a member that begin no other are damage at once, while the pipe stays open.
    {"gzip_junk_after_member", "gzip -c log >c; mkfifo f; { cat c; printf junkjunk; cat f; } | { timeout 10 ornsum -q /dev/stdin; "
     "echo $?; echo >f; }", 0, "\n2\n", "Processing file: \"/dev/stdin\"...\nCannot read file: \"/dev/stdin\"\n\nornsum: \"/dev/stdin\": damaged, cut short, or too large to decode in the memory allowed\n"},
    // The decoder waiting for input that never comes does not hold the end of a failed run.
    {"decoder_stops_on_failed_run", "gzip -c log >c; mkfifo f; { head -c 10 c; cat f; } | { LD_PRELOAD=$SHIM MAIN_MALLOC_LIMIT=600000 "
     "timeout 10 ornsum -q /dev/stdin; echo $?; echo >f; }", 0, "2\n",
     "Processing file: \"/dev/stdin\"...\n\n\nOut of memory\n\n"},
    // Nor when no eventfd can be made: descriptors 0 to 3 are open, and the log takes 4.
    {"decoder_stops_without_eventfd", "gzip -c log >c; mkfifo f; { head -c 10 c; cat f; } | { (ulimit -n 5; LD_PRELOAD=$SHIM "
     "MAIN_MALLOC_LIMIT=600000 exec timeout 10 ornsum -q /dev/stdin); echo $?; echo >f; }", 0, "2\n",
     "Processing file: \"/dev/stdin\"...\n\n\nOut of memory\n\n"},
    // zstd frames with the windows of --long=27, the zstd tool's own limit, are read; wider ones are not.
    {"zstd_window_limit", "zstd -q --long=27 <log >c; ornsum -sS c; zstd -q --long=28 <log >c; ornsum -q c", 2, example_out + "\n",
     "Processing file: \"c\"...\nDone!\n\n" + banner + "Processing file: \"c\"...\nCannot read file: \"c\"\n\nornsum: \"c\": damaged, cut short, or too large to decode in the memory allowed\n",
     {{"S", S}}},
    // lzip and .lzma streams whose dictionary of 64 MiB fits in 80 MiB are read; of 128 MiB, not.
    {"lzma_formats_memory_limit", "lzip -c log >z; lzma -c log >a; for d in '032 004' '033 010'; do set -- $d; "
     "{ head -c 5 z; printf \"\\\\$1\"; tail -c +7 z; } >c; ornsum -sS c; { printf \"\\135\\0\\0\\0\\\\$2\"; tail -c +6 a; } >c; "
     "ornsum -sS c; done", 2, example_out + example_out + empty_out + empty_out,
     "Processing file: \"c\"...\nDone!\n\n" + banner + "Processing file: \"c\"...\nDone!\n\n" + banner +
         "Processing file: \"c\"...\nCannot read file: \"c\"\n\nornsum: \"c\": damaged, cut short, or too large to decode in the memory allowed\n" + banner +
         "Processing file: \"c\"...\nCannot read file: \"c\"\n\nornsum: \"c\": damaged, cut short, or too large to decode in the memory allowed\n",
     {{"S", koi8(no_session + "\n")}}},
    // A line whose first bytes are all but a signature is text; so is one that begins with the
    // properties byte of a legacy .lzma header and an unlikely dictionary or uncompressed size.
    {"near_signatures_are_text", "ornsum -q -sS log 2>/dev/null; for p in '\\037' 'BZh91AY&S' 'BZh9\\027rE8P' '\\050\\265\\057' "
     "'\\3757zXZ' 'P*M' '\\004\\042\\115' 'LZIP' ']' ']\\0\\0\\200\\0' ']\\0\\0\\200\\0\\377\\377\\377\\377\\377\\377\\377' "
     "']\\1\\0\\200\\0\\377\\377\\377\\377\\377\\377\\377\\377'; do { printf \"$p\\n\"; cat log; } >t; ornsum -q -sT t 2>/dev/null; "
     "cmp S T && echo same; done", 0, "\n" + repeat(12, "\nsame\n"), "", {{"S", S}}},
    // lz4 and zstd share their skippable frames: the frame after them tells the format.
    {"skippable_frames_then_lz4_or_zstd", "ornsum -q -sS log 2>/dev/null; for z in lz4 zstd; do "
     "{ printf 'P*M\\030\\004\\0\\0\\0abcdQ*M\\030\\0\\0\\0\\0'; $z -c log; } >c; cat c | ornsum -q -sT /dev/stdin 2>/dev/null; "
     "cmp S T && echo same; done", 0, "\n" + repeat(2, "\nsame\n"), ""},
    // A format that is recognised but not read is refused, and nothing of it counted: compress,
    // pack, lzop and lz4's legacy format.
    {"unread_formats_refused", "ornsum -q -sE /dev/null 2>/dev/null; for p in '\\037\\235' '\\037\\036' '\\211LZO\\0\\r\\n\\032\\n' "
     "'\\002\\041\\114\\030'; do { printf \"$p\"; cat log; } >t; ornsum -q -sT t 2>e; echo \"$? $(grep -c 'Cannot read file: \"t\"' e)\"; "
     "cmp E T && echo empty; done", 0, "\n" + repeat(4, "\n2 1\nempty\n"), ""},
    // An archive is no log: a tar of either magic, plain or compressed, large enough for segments,
    // or sent by a writer that pauses within its first header, and a zip, empty or not.
    {"archives_refused", "ornsum -q -sE /dev/null 2>/dev/null; tar --format=ustar -cf u log; tar --format=gnu -cf g log; "
     "gzip -c u >u.gz; xz -c g >g.xz; zstd -q -c u >u.zst; { printf 'PK\\3\\4'; cat log; } >z; { printf 'PK\\5\\6'; "
     "head -c 18 /dev/zero; } >y; { cat log; yes 'a line of filler' | head -n 700000; } >big; tar -cf b big; "
     "for f in u g u.gz g.xz u.zst z y b; do LD_PRELOAD=$SHIM CPUS=2 ornsum -q -sT $f 2>x; "
     "echo \"$? $(grep -c \"Cannot read file: \\\"$f\\\"\" x)\"; cmp E T && echo empty; done; mkfifo f; "
     "{ head -c 100 u; cat f; } | ornsum -q -sT /dev/stdin 2>x & tail -c +101 u >f; wait $!; "
     "echo \"$? $(grep -c 'Cannot read file: \"/dev/stdin\"' x)\"; cmp E T && echo empty",
     0, "\n" + repeat(9, "\n2 1\nempty\n"), ""},
    // Text that holds `ustar` where a tar's magic lies, with no NUL after it, is read as text.
    {"ustar_in_text_read", "ornsum -q -sS log 2>/dev/null; for t in 'ustar\\n' 'ustar  \\n'; do { head -c 257 /dev/zero | tr '\\0' x; "
     "printf \"$t\"; cat log; } >t; ornsum -q -sT t 2>/dev/null; cmp S T && echo same; done", 0, "\n" + repeat(2, "\nsame\n"), ""},
};
// clang-format on

class compressed : public testing::TestWithParam<run_case> {};

TEST_P(compressed, writes_exactly_what_it_should) { check(GetParam()); }

INSTANTIATE_TEST_SUITE_P(cases, compressed, testing::ValuesIn(cases), case_name);

}  // namespace
