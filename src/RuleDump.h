// The output document of veltrix: one compact JSON object mapping each rule
// name to its enabled flag, built in memory and printed once at the end.

#ifndef QZ_EVMON_RULE_DUMP_H_
#define QZ_EVMON_RULE_DUMP_H_

#include <string>

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "RuleParams.h"

namespace qz::evmon {

using OutputWriter = rapidjson::Writer<rapidjson::StringBuffer>;

// The process's one output document. Nothing reaches standard output until
// the traversal has finished, so a failure midway prints nothing.
extern rapidjson::StringBuffer outputBuffer;
extern OutputWriter outputWriter;

// Appends the member key: enabled to the object being written. The key is
// written with its full length, a zero byte escaped like any control byte;
// bytes from 0x80 up are copied without a UTF-8 check.
void WriteRule(OutputWriter& writer, const std::string& key, const RuleParams& params);

// WriteRule on outputWriter: the per-entry callback of the dump.
void DumpRule(const std::string& key, const RuleParams& params);

}  // namespace qz::evmon

#endif  // QZ_EVMON_RULE_DUMP_H_
