// The output document of veltrix: one compact JSON object mapping each rule
// name to its enabled flag, built in memory and printed once at the end.

#ifndef QZ_EVMON_RULE_DUMP_H_
#define QZ_EVMON_RULE_DUMP_H_

#include <cstddef>
#include <string_view>

#include <rapidjson/stringbuffer.h>

#include "KeyValueStorage.h"

namespace qz::evmon {

// The object under construction. Names are escaped by hand, with
// RapidJSON's default escaping: '"' and '\' get a backslash, 08, 09, 0A, 0C and 0D become
// \b, \t, \n, \f and \r, every other byte below 20 (hex) becomes \u00XX with
// upper-case hex digits; every other byte is copied as it is, without a
// UTF-8 check.
class OutputDocument {
 public:
  OutputDocument();

  // Appends the member "name": enabled, with the name's full length.
  void Add(std::string_view name, bool enabled);

  // Closes the object and appends a newline; returns the whole text, valid
  // while the document lives. Nothing may be added afterwards.
  std::string_view Finish();

 private:
  void AppendEscaped(std::string_view name);
  void PrefaultAhead(std::size_t bytes);

  rapidjson::StringBuffer text;
  bool empty = true;
  // The text may grow to this size before its pages have to be prefaulted.
  // A small document is left to page faults.
  std::size_t prefaultedSize = 1u << 20;
};

// Adds every rule of `storage`, in the store's traversal order, to
// `document`. A value that does not decode ends the dump with the exception
// of ParseRuleParams; store errors pass through.
void DumpRules(const KeyValueStorage& storage, OutputDocument& document);

}  // namespace qz::evmon

#endif  // QZ_EVMON_RULE_DUMP_H_
