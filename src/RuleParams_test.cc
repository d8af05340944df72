#include "RuleParams.h"

#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "LevelDbStorage.h"
#include "TestSupport.h"

namespace qz::evmon {
namespace {

const char kParseError[] = "Error parsing json";
const char kShapeError[] = "Wrong RuleParams json format";

// What ParseRuleParams makes of `json`: "true", "false" or the error message.
std::string Decode(const std::string& json) {
  RuleParams params{true};
  try {
    ParseRuleParams(json.c_str(), params);
    return params.enabled ? "true" : "false";
  } catch (const std::invalid_argument& error) {
    EXPECT_TRUE(params.enabled) << "changed by a failed parse";
    return error.what();
  }
}

struct DecodeCase {
  std::string json;
  std::string result;
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.json); }

class ParseRuleParamsTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(ParseRuleParamsTest, Decodes) { EXPECT_EQ(Decode(GetParam().json), GetParam().result); }

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseRuleParamsTest,
    ::testing::Values(
        DecodeCase{R"({"enabled":true})", "true"}, DecodeCase{R"({"enabled":false})", "false"},
        DecodeCase{" \t\r\n{ \"enabled\" :\n\tfalse\r} \n", "false"},
        DecodeCase{R"({"\u0065nabled":true})", "true"},
        DecodeCase{std::string("{\"enabled\":false}\0garbage", 25), "false"},
        DecodeCase{"", kParseError}, DecodeCase{" \n\t", kParseError},
        DecodeCase{std::string("\0{\"enabled\":true}", 17), kParseError},
        DecodeCase{R"({"enabled":true}})", kParseError},
        DecodeCase{R"({"enabled":true} x)", kParseError},
        DecodeCase{R"({"enabled":true,})", kParseError},
        DecodeCase{R"({'enabled':true})", kParseError},
        DecodeCase{R"({"enabled":NaN})", kParseError},
        DecodeCase{"{\"enabled\":true /* on */}", kParseError},
        DecodeCase{R"({"enabled":true,"name":"x"})", kShapeError},
        DecodeCase{R"({"enabled":true,"enabled":true})", kShapeError},
        DecodeCase{R"({"enabled":1})", kShapeError},
        DecodeCase{R"({"enabled":"true"})", kShapeError},
        DecodeCase{R"({"enabled":null})", kShapeError},
        DecodeCase{R"({"enabled":{}})", kShapeError}, DecodeCase{R"({})", kShapeError},
        DecodeCase{R"({"Enabled":true})", kShapeError},
        DecodeCase{R"({"enabled\u0000":true})", kShapeError},
        DecodeCase{"{\"enabled\":" + std::string(200000, '['), kParseError},
        DecodeCase{"{\"enabled\":" + std::string(200000, '[') + std::string(200000, ']') + "}",
                   kShapeError},
        DecodeCase{R"([])", kShapeError}, DecodeCase{R"(null)", kShapeError},
        DecodeCase{R"(true)", kShapeError}, DecodeCase{R"(5)", kShapeError}));

TEST(RuleParamsTest, EncodesCompactlyAndThroughStore) {
  std::string json = "previous content";
  SerializeRuleParams(RuleParams{false}, json);
  EXPECT_EQ(json, R"({"enabled":false})");

  test::TestDirectory dir;
  const auto storage = CreateStorage(dir.Path("db"));
  EXPECT_TRUE(PutRuleParams(storage, "on", RuleParams{true}));
  ASSERT_TRUE(storage->Get("on", json));
  EXPECT_EQ(json, R"({"enabled":true})");

  RuleParams params{false};
  EXPECT_TRUE(GetRuleParams(storage, "on", params));
  EXPECT_TRUE(params.enabled);
  params.enabled = false;
  EXPECT_FALSE(GetRuleParams(storage, "missing", params));
  EXPECT_FALSE(params.enabled);
}

TEST(RuleParamsTest, ForEachStopsAtFirstUndecodableValue) {
  test::TestDirectory dir;
  const auto storage = CreateStorage(dir.Path("db"));
  storage->Put("a", R"({"enabled":true})");
  storage->Put("b", "not json");
  storage->Put("c", R"({"enabled":false})");
  std::vector<std::string> visited;
  try {
    ForEachRuleParams(storage, [&visited](const std::string& key, const RuleParams& params) {
      visited.push_back(key + (params.enabled ? "=on" : "=off"));
    });
    ADD_FAILURE() << "no error for b";
  } catch (const std::invalid_argument& error) {
    EXPECT_STREQ(error.what(), kParseError);
  }
  EXPECT_EQ(visited, std::vector<std::string>{"a=on"});
}

}  // namespace
}  // namespace qz::evmon
