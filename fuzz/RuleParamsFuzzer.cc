// Fuzzes the rule-value parser: it never crashes, accepts exactly the
// documented rule documents with their flag, and names a text that is not
// JSON as such.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "JsonCheck.h"
#include "RuleParams.h"

using qz::evmon::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qz::evmon;
  const std::string_view value(reinterpret_cast<const char*>(data), size);
  // A stored value counts up to its first zero byte.
  const std::string_view text = value.substr(0, value.find('\0'));
  const std::optional<bool> expected = fuzz::RuleDocumentFlag(text);

  RuleParams params{true};
  std::string error;
  try {
    ParseRuleParams(value, params);
  } catch (const std::invalid_argument& failure) {
    error = failure.what();
  }
  if (expected) {
    Require(error.empty() && params.enabled == *expected);
    return 0;
  }
  Require(params.enabled);  // a failed parse leaves the record alone
  const fuzz::JsonVerdict json = fuzz::CheckJson(text);
  if (!json.valid) {
    Require(error == "Error parsing json");
  } else if (json.parserMayDiffer) {
    Require(error == "Error parsing json" || error == "Wrong RuleParams json format");
  } else {
    Require(error == "Wrong RuleParams json format");
  }
  return 0;
}
