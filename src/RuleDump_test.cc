#include "RuleDump.h"

#include <string>

#include <gtest/gtest.h>

#include "LevelDbStorage.h"
#include "TestSupport.h"

namespace qz::evmon {
namespace {

struct EscapeCase {
  std::string key;
  std::string written;
};

void PrintTo(const EscapeCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.key); }

class OutputEscapeTest : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(OutputEscapeTest, EscapesNameWithFullLength) {
  OutputDocument document;
  document.Add(GetParam().key, true);
  document.Add("next", false);
  EXPECT_EQ(document.Finish(), "{\"" + GetParam().written + "\":true,\"next\":false}\n");
}

// The longer names put the byte to escape at the end of a word and of the
// tail that the escape check reads.
INSTANTIATE_TEST_SUITE_P(
    Keys, OutputEscapeTest,
    ::testing::Values(EscapeCase{"r1", "r1"}, EscapeCase{"", ""},
                      EscapeCase{std::string("a\0b", 3), R"(a\u0000b)"},
                      EscapeCase{std::string("\0", 1), R"(\u0000)"},
                      EscapeCase{"q\"b\\s/", R"(q\"b\\s/)"},
                      EscapeCase{"\b\t\n\f\r", R"(\b\t\n\f\r)"},
                      EscapeCase{"\x01\x0b\x1f", R"(\u0001\u000B\u001F)"},
                      EscapeCase{"\x7f\xc3\xa9\xff \x20", "\x7f\xc3\xa9\xff  "},
                      EscapeCase{"12345678\"", R"(12345678\")"},
                      EscapeCase{"1234567\\", R"(1234567\\)"},
                      EscapeCase{"123456789abcdef\x1f", R"(123456789abcdef\u001F)"},
                      EscapeCase{"12345678abcdefgh", "12345678abcdefgh"},
                      EscapeCase{"!#[]\x7f\x80\xa2\xdc", "!#[]\x7f\x80\xa2\xdc"}));

TEST(OutputDocumentTest, EmptyDocumentIsAnEmptyObject) {
  OutputDocument document;
  EXPECT_EQ(document.Finish(), "{}\n");
}

// Megabytes of text cross the points where the buffer's pages are
// prefaulted and where it grows.
TEST(OutputDocumentTest, LargeDocumentIsWhole) {
  OutputDocument document;
  std::string expected = "{";
  for (int i = 0; i < 100000; ++i) {
    const std::string name = "rule.group-" + std::to_string(i) + std::string(i % 40, 'x');
    document.Add(name, i % 3 == 0);
    expected += (i == 0 ? "\"" : ",\"") + name + (i % 3 == 0 ? "\":true" : "\":false");
  }
  EXPECT_TRUE(document.Finish() == expected + "}\n");
}

TEST(DumpRulesTest, StopsAtFirstUndecodableValue) {
  test::TestDirectory dir;
  LevelDbStorage storage(dir.Path("db"));
  storage.Put("a", R"({"enabled":true})");
  storage.Put("b", std::string("{\"enabled\":false}\0x", 19));
  storage.Put("c", "not json");
  OutputDocument document;
  EXPECT_THROW(DumpRules(storage, document), std::invalid_argument);
  EXPECT_EQ(document.Finish(), "{\"a\":true,\"b\":false}\n");
}

}  // namespace
}  // namespace qz::evmon
