// The parameter record of one rule, its JSON text form, and typed access to
// the records kept in a key-value store.

#ifndef QZ_EVMON_RULE_PARAMS_H_
#define QZ_EVMON_RULE_PARAMS_H_

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "KeyValueStorage.h"

namespace qz::evmon {

// Stored as the JSON text {"enabled":true} or {"enabled":false}.
struct RuleParams {
  bool enabled = false;
};

// Decodes `json`, a zero-terminated text holding exactly one JSON object with
// the single boolean member "enabled", into `params`. Throws
// std::invalid_argument("Error parsing json") when the text is not one JSON
// value, and std::invalid_argument("Wrong RuleParams json format") when it is
// JSON of another shape. `params` changes only on success.
void ParseRuleParams(const char* json, RuleParams& params);

// As above, for a stored value: decodes `value` up to its first zero byte.
void ParseRuleParams(std::string_view value, RuleParams& params);

// Replaces `json` with the compact JSON form of `params`.
void SerializeRuleParams(const RuleParams& params, std::string& json);

// Returns false, leaving `params` untouched, when `storage` has no value for
// `key`; otherwise decodes the value into `params` and returns true. A value
// is decoded up to its first zero byte.
// Throws what ParseRuleParams and the store throw.
bool GetRuleParams(const std::shared_ptr<KeyValueStorage>& storage, const std::string& key,
                   RuleParams& params);

// Encodes `params` and stores it under `key`; returns the store's result.
bool PutRuleParams(const std::shared_ptr<KeyValueStorage>& storage, const std::string& key,
                   const RuleParams& params);

using RuleParamsCallback = std::function<void(const std::string& key, const RuleParams& params)>;

// Calls `callback` with every key of `storage` and its decoded record, in the
// store's traversal order. A value that does not decode ends the traversal
// with the exception of ParseRuleParams, after the entries before it were
// passed on.
void ForEachRuleParams(const std::shared_ptr<KeyValueStorage>& storage,
                       RuleParamsCallback callback);

}  // namespace qz::evmon

#endif  // QZ_EVMON_RULE_PARAMS_H_
