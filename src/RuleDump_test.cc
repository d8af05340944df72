#include "RuleDump.h"

#include <string>

#include <gtest/gtest.h>

namespace qz::evmon {
namespace {

struct EscapeCase {
  std::string key;
  std::string written;
};

void PrintTo(const EscapeCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.key); }

class WriteRuleTest : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(WriteRuleTest, EscapesKeyWithFullLength) {
  OutputBuffer buffer;
  OutputWriter writer(buffer);
  writer.StartObject();
  WriteRule(writer, GetParam().key, RuleParams{true});
  WriteRule(writer, "next", RuleParams{false});
  writer.EndObject();
  EXPECT_EQ(std::string(buffer.GetString(), buffer.GetSize()),
            "{\"" + GetParam().written + "\":true,\"next\":false}");
}

INSTANTIATE_TEST_SUITE_P(
    Keys, WriteRuleTest,
    ::testing::Values(EscapeCase{"r1", "r1"},
                      EscapeCase{"", ""},
                      EscapeCase{std::string("a\0b", 3), R"(a\u0000b)"},
                      EscapeCase{std::string("\0", 1), R"(\u0000)"},
                      EscapeCase{"q\"b\\s/", R"(q\"b\\s/)"},
                      EscapeCase{"\b\t\n\f\r", R"(\b\t\n\f\r)"},
                      EscapeCase{"\x01\x0b\x1f", R"(\u0001\u000B\u001F)"},
                      EscapeCase{"\x7f\xc3\xa9\xff", "\x7f\xc3\xa9\xff"}));

}  // namespace
}  // namespace qz::evmon
