// An independent check of JSON texts for the rule-value fuzzer: a small
// validator of RFC 8259 written apart from RapidJSON, and a recogniser of
// the documented rule document.

#ifndef QZ_EVMON_FUZZ_JSON_CHECK_H_
#define QZ_EVMON_FUZZ_JSON_CHECK_H_

#include <optional>
#include <string_view>

namespace qz::evmon::fuzz {

struct JsonVerdict {
  bool valid = false;
  // Set when the text holds a number or a \u escape of a surrogate: where
  // RapidJSON may reject what the grammar allows (a number out of a
  // double's range, a surrogate without its pair).
  bool parserMayDiffer = false;
};

// Whether `text` is exactly one JSON value with optional blanks around it.
JsonVerdict CheckJson(std::string_view text);

// The flag of a documented rule document: one object with the single member
// whose name decodes to "enabled" and whose value is true or false, blanks
// allowed around tokens. Empty for any other text.
std::optional<bool> RuleDocumentFlag(std::string_view text);

}  // namespace qz::evmon::fuzz

#endif  // QZ_EVMON_FUZZ_JSON_CHECK_H_
