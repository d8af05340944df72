#include "RuleParams.h"

#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "LevelDbStorage.h"
#include "TestSupport.h"

namespace qz::evmon {
namespace {

struct AcceptedCase {
  std::string json;
  bool enabled;
};

void PrintTo(const AcceptedCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.json); }

class AcceptedRuleParamsTest : public ::testing::TestWithParam<AcceptedCase> {};

TEST_P(AcceptedRuleParamsTest, Decodes) {
  RuleParams params;
  params.enabled = !GetParam().enabled;
  ParseRuleParams(GetParam().json.c_str(), params);
  EXPECT_EQ(params.enabled, GetParam().enabled);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, AcceptedRuleParamsTest,
    ::testing::Values(AcceptedCase{R"({"enabled":true})", true},
                      AcceptedCase{R"({"enabled":false})", false},
                      AcceptedCase{" \t\r\n{ \"enabled\" :\n\ttrue\r} \n", true},
                      AcceptedCase{R"({"\u0065nabled":false})", false},
                      // The text ends at its first zero byte.
                      AcceptedCase{std::string("{\"enabled\":true}\0garbage", 24), true}));

struct RejectedCase {
  std::string json;
  std::string message;
};

void PrintTo(const RejectedCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.json); }

class RejectedRuleParamsTest : public ::testing::TestWithParam<RejectedCase> {};

TEST_P(RejectedRuleParamsTest, ThrowsAndLeavesRecord) {
  RuleParams params;
  params.enabled = true;
  try {
    ParseRuleParams(GetParam().json.c_str(), params);
    ADD_FAILURE() << "accepted " << GetParam().json;
  } catch (const std::invalid_argument& error) {
    EXPECT_EQ(error.what(), GetParam().message);
  }
  EXPECT_TRUE(params.enabled);
}

const char kParseError[] = "Error parsing json";
const char kShapeError[] = "Wrong RuleParams json format";

INSTANTIATE_TEST_SUITE_P(
    Texts, RejectedRuleParamsTest,
    ::testing::Values(RejectedCase{"", kParseError},
                      RejectedCase{" \n\t", kParseError},
                      RejectedCase{R"({"enabled":true}})", kParseError},
                      RejectedCase{R"({"enabled":true} x)", kParseError},
                      RejectedCase{R"({"enabled":true} {})", kParseError},
                      RejectedCase{R"({"enabled":true,})", kParseError},
                      RejectedCase{R"({'enabled':true})", kParseError},
                      RejectedCase{R"({"enabled":True})", kParseError},
                      RejectedCase{R"({"enabled":NaN})", kParseError},
                      RejectedCase{"{\"enabled\":true /* on */}", kParseError},
                      RejectedCase{std::string("\0{\"enabled\":true}", 17), kParseError},
                      RejectedCase{R"({"enabled":true,"name":"x"})", kShapeError},
                      RejectedCase{R"({"enabled":true,"enabled":true})", kShapeError},
                      RejectedCase{R"({"enabled":1})", kShapeError},
                      RejectedCase{R"({"enabled":"true"})", kShapeError},
                      RejectedCase{R"({"enabled":null})", kShapeError},
                      RejectedCase{R"({"enabled":[true]})", kShapeError},
                      RejectedCase{R"({"enabled":{}})", kShapeError},
                      RejectedCase{R"({})", kShapeError},
                      RejectedCase{R"({"Enabled":true})", kShapeError},
                      RejectedCase{R"({"enabled\u0000":true})", kShapeError},
                      RejectedCase{R"([])", kShapeError},
                      RejectedCase{R"(null)", kShapeError},
                      RejectedCase{R"(true)", kShapeError},
                      RejectedCase{R"(5)", kShapeError}));

TEST(SerializeRuleParamsTest, WritesCompactFormThatDecodesBack) {
  for (const bool enabled : {true, false}) {
    std::string json = "previous content";
    SerializeRuleParams(RuleParams{enabled}, json);
    EXPECT_EQ(json, enabled ? R"({"enabled":true})" : R"({"enabled":false})");
    RuleParams decoded{!enabled};
    ParseRuleParams(json.c_str(), decoded);
    EXPECT_EQ(decoded.enabled, enabled);
  }
}

class RuleParamsStoreTest : public ::testing::Test {
 protected:
  test::TestDirectory dir;
  std::shared_ptr<KeyValueStorage> storage = CreateStorage(dir.Path("db"));
};

TEST_F(RuleParamsStoreTest, GetOfMissingKeyLeavesRecord) {
  RuleParams params{true};
  EXPECT_FALSE(GetRuleParams(storage, "missing", params));
  EXPECT_TRUE(params.enabled);
}

TEST_F(RuleParamsStoreTest, PutStoresTextAndGetDecodesIt) {
  EXPECT_TRUE(PutRuleParams(storage, "r1", RuleParams{true}));
  std::string stored;
  ASSERT_TRUE(storage->Get("r1", stored));
  EXPECT_EQ(stored, R"({"enabled":true})");
  RuleParams params;
  EXPECT_TRUE(GetRuleParams(storage, "r1", params));
  EXPECT_TRUE(params.enabled);
}

TEST_F(RuleParamsStoreTest, ForEachStopsAtFirstUndecodableValue) {
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
