// The fields of the export: texts of the log as JSON strings, every byte kept (UTF-8 as it stands,
// other bytes and control characters as \u00XX), and as CSV fields quoted as RFC 4180 asks.
#include "scan/records.h"

#include <gtest/gtest.h>

#include "scan/parse.h"

namespace {

struct text_case {
  std::string text;
  std::string json;
  std::string csv;
};

const text_case cases[] = {
    {"9:99/1", R"("9:99/1")", "9:99/1"},
    {"", R"("")", ""},
    {R"(a"b\c)", R"("a\"b\\c")", R"("a""b\c")"},
    {"a,b", R"("a,b")", R"("a,b")"},
    {"\r\x01\x1f\x7f",
     R"("\u000d\u0001\u001f)"
     "\x7f\"",
     "\"\r\x01\x1f\x7f\""},
    // UTF-8 of two, three and four bytes stays; a lone lead, a stray continuation, an overlong
    // form, a surrogate and a code point past U+10FFFF are bytes.
    {"\xc3\xa9\xe2\x94\x80\xf0\x9f\x98\x80", "\"\xc3\xa9\xe2\x94\x80\xf0\x9f\x98\x80\"",
     "\xc3\xa9\xe2\x94\x80\xf0\x9f\x98\x80"},
    {"\xe9 \x80 \xc0\xaf \xed\xa0\x80 \xf4\x90\x80\x80 \xe2\x94",
     R"("\u00e9 \u0080 \u00c0\u00af \u00ed\u00a0\u0080 \u00f4\u0090\u0080\u0080 \u00e2\u0094")",
     "\xe9 \x80 \xc0\xaf \xed\xa0\x80 \xf4\x90\x80\x80 \xe2\x94"},
};

TEST(records, texts_as_json_strings_and_csv_fields) {
  for (const text_case& c : cases) {
    std::string json;
    std::string csv;
    append_json_string(json, c.text);
    append_csv_field(csv, c.text);
    EXPECT_EQ(json, c.json);
    EXPECT_EQ(csv, c.csv);
  }
}

TEST(records, session_fields_in_either_format) {
  const session s{" 05 Dec 12:34:56 ", " 9:99/9", 'o', -5, 9223372036854775807};
  std::string json;
  std::string csv;
  append_session_fields(json, s, record_format::jsonl);
  append_session_fields(csv, s, record_format::csv);
  EXPECT_EQ(
      json,
      R"(,"stamp":" 05 Dec 12:34:56 ","address":" 9:99/9","direction":"o","sent":-5,"received":9223372036854775807)");
  EXPECT_EQ(csv, ", 05 Dec 12:34:56 , 9:99/9,o,-5,9223372036854775807");
}

}  // namespace
