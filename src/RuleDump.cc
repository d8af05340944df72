#include "RuleDump.h"

#include <cstring>

namespace qz::evmon {

OutputBuffer outputBuffer;
OutputWriter outputWriter(outputBuffer);

namespace {

// Whether `text` holds a byte that RapidJSON's writer escapes by default.
bool NeedsEscape(const std::string& text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == '"' || c == '\\') {
      return true;
    }
  }
  return false;
}

}  // namespace

void OutputWriter::WriteKey(const std::string& key) {
  if (NeedsEscape(key)) {
    Key(key.data(), static_cast<rapidjson::SizeType>(key.size()));
    return;
  }
  Prefix(rapidjson::kStringType);
  char* const text = os_->Push(key.size() + 2);
  text[0] = '"';
  std::memcpy(text + 1, key.data(), key.size());
  text[key.size() + 1] = '"';
  EndValue(true);
}

void WriteRule(OutputWriter& writer, const std::string& key, const RuleParams& params) {
  writer.WriteKey(key);
  writer.Bool(params.enabled);
}

void DumpRule(const std::string& key, const RuleParams& params) {
  WriteRule(outputWriter, key, params);
}

}  // namespace qz::evmon
