// The export, read back by Python's json and csv modules: every session, node and total equals the
// tables', odd bytes and totals past 64 bits included, on one CPU or several; and the refusals and
// failed writes of the export, as those of the reports.
#include "run_case.h"

namespace {

// Logs with counts clamped at 64 bits and totals past them, empty and long addresses, and bytes
// that are no UTF-8 among those that are; one of them compressed.
const std::string logs =
    "seq 3 | sed 's|.*|+ 05 Dec 12:00:0& [&] done (from 9:99/7, OK (9223372036854775807/1 bytes))|' >max; "
    "printf '+ 05 Dec 12:00:00 [9] done (from 9:99/\\320\\226\\377\"q\\\\, OK (1/2 bytes))\\n' >bytes; ";

// Reads the sessions report S, the nodes report N and the export of each format, and says whether
// every figure agrees; the export's bytes come back from JSON as Latin-1 for what \u00XX wrote.
const std::string compare = R"(python3 - <<'END'
import csv, json
def cells(name):
    return [line.split('\x81')[1:-1] for line in open(name, encoding='latin-1') if line.startswith('\x81')][1:]
def total(label):
    return int([l for l in open('S', encoding='latin-1') if l.startswith(label)][0].split(':')[1])
def raw(text):
    return ''.join(c if ord(c) < 256 else c.encode().decode('latin-1') for c in text)
sessions, nodes = cells('S'), cells('N')
jsonl = [json.loads(line) for line in open('x.jsonl', encoding='utf-8')]
rows = list(csv.DictReader(open('x.csv', encoding='latin-1', newline='')))
for record in jsonl:
    for key in ('stamp', 'address', 'log'):
        if key in record: record[key] = raw(record[key])
for r in rows:
    for key in ('number', 'sent', 'received', 'sessions'):
        r[key] = int(r[key]) if r[key] else None
assert len(jsonl) == len(rows) == len(sessions) + len(nodes) + 1
for record, r, cell in zip(jsonl, rows, sessions):
    assert record['type'] == r['type'] == 'session'
    number, stamp, address, d, sent, rcvd = cell
    for got in (record, r):
        assert got['number'] == int(number) and got['sent'] == int(sent) and got['received'] == int(rcvd)
        assert stamp == ' ' + got['stamp'].ljust(16) and address == got['address'].ljust(16)
        assert d == ' ' + got['direction'] + ' ' and got['log'] in ('max', 'bytes', 'log', 'odd.gz')
for record, r, cell in zip(jsonl[len(sessions):], rows[len(sessions):], nodes):
    assert record['type'] == r['type'] == 'node'
    for got in (record, r):
        assert got['address'].ljust(18) == cell[1] and got['sent'] == int(cell[2]) and got['received'] == int(cell[3])
    assert record['sessions'] == r['sessions'] == sum(1 for c in sessions if c[2] == cell[1][:len(c[2])] and c[2].rstrip() == cell[1].rstrip())
for got in (jsonl[-1], rows[-1]):
    assert got['type'] == 'total' and got['sessions'] == len(sessions)
    assert got['sent'] == total('Total bytes sent') > 2**64 and got['received'] == total('Total bytes rcvd')
print('agree')
END
)";

// clang-format off
const run_case cases[] = {
    {"export_agrees_with_the_tables", logs + "gzip -c odd >odd.gz; for c in 1 2; do for f in jsonl csv; do LD_PRELOAD=$SHIM CPUS=$c "
     "ornsum -a -q -sS -nN -ox$c.$f max log odd.gz bytes 2>/dev/null; done; done; cmp x1.jsonl x2.jsonl && cmp x1.csv x2.csv && cp x1.jsonl x.jsonl && "
     "cp x1.csv x.csv && " + compare, 0, "\n\n\n\nagree\n", ""},
    // Without -a no session names its log; -o- writes the export alone to standard output.
    {"export_to_standard_output", "ornsum -q -o-.csv log 2>/dev/null | head -n 2; ornsum -q -o- log 2>/dev/null | tail -n 1",
     0, "type,number,stamp,address,direction,sent,received,sessions,log\nsession,1,05 Dec 12:34:56 , 9:99/9,i,120,345,,\n"
     "{\"type\":\"total\",\"sessions\":3,\"sent\":150,\"received\":449}\n", ""},
    {"export_name_refused", "ornsum -ox.txt log", 2, "", "Invalid switch: \"o\"\nornsum: -o takes a name ending in .jsonl or "
     ".json (JSON Lines) or .csv (CSV), or - (or -.csv) for standard output\n"},
    {"export_beside_tables_refused", "ornsum -o- log", 2, "",
     "Invalid switch: \"o\"\nornsum: -o- writes to standard output, which takes the tables unless -q is given\n"},
    // The export is checked as the reports are, before anything is read or emptied.
    {"export_is_the_log", "cp log l.csv; ornsum -q -ol.csv l.csv", 2, "", "Report file is the log: \"l.csv\"\n\n",
     {{"l.csv", example_log}}},
    {"export_is_a_report", "echo kept >x.json; ornsum -q -sx.json -ox.json log", 2, "", "Both reports name one file: \"x.json\"\n\n",
     {{"x.json", "kept\n"}}},
    {"export_is_standard_output", "ornsum -q -ox.jsonl log >>x.jsonl", 2, "", "Standard output is the report: \"x.jsonl\"\n\n"},
    {"export_write_fails", "seq 20000 | sed 's|.*|+ 05 Dec 12:34:56 [&] done (from 9:&, OK (1/1 bytes))|' >few; "
     "(ulimit -f 200; ornsum -q -ox.jsonl few); ornsum -q -o- log >/dev/full", 2, "\n",
     "Processing file: \"few\"...\nCannot write file: \"x.jsonl\"\n\n" + banner +
     "Processing file: \"log\"...\nCannot write standard output\n\n"},
};
// clang-format on

class export_run : public testing::TestWithParam<run_case> {};

TEST_P(export_run, writes_exactly_what_it_should) { check(GetParam()); }

INSTANTIATE_TEST_SUITE_P(cases, export_run, testing::ValuesIn(cases), case_name);

}  // namespace
