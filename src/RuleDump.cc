#include "RuleDump.h"

namespace qz::evmon {

rapidjson::StringBuffer outputBuffer;
OutputWriter outputWriter(outputBuffer);

void WriteRule(OutputWriter& writer, const std::string& key, const RuleParams& params) {
  writer.Key(key.data(), static_cast<rapidjson::SizeType>(key.size()));
  writer.Bool(params.enabled);
}

void DumpRule(const std::string& key, const RuleParams& params) {
  WriteRule(outputWriter, key, params);
}

}  // namespace qz::evmon
