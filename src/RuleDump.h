// The output document of veltrix: one compact JSON object mapping each rule
// name to its enabled flag, built in memory and printed once at the end.

#ifndef QZ_EVMON_RULE_DUMP_H_
#define QZ_EVMON_RULE_DUMP_H_

#include <string>

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "MappedAllocator.h"
#include "RuleParams.h"

namespace qz::evmon {

using OutputBuffer = rapidjson::GenericStringBuffer<rapidjson::UTF8<>, MappedAllocator>;

// RapidJSON's compact writer with its default escaping, plus a quicker way
// to write a member name.
class OutputWriter : public rapidjson::Writer<OutputBuffer> {
 public:
  using Writer::Writer;

  // Writes `key` as a member name, with its full length: what Key writes,
  // but a name that needs no escaping, as nearly every rule name, is copied
  // in one piece rather than byte by byte.
  void WriteKey(const std::string& key);
};

// The process's one output document. Nothing reaches standard output until
// the traversal has finished, so a failure midway prints nothing.
extern OutputBuffer outputBuffer;
extern OutputWriter outputWriter;

// Appends the member key: enabled to the object being written. A zero byte in
// the key is escaped like any control byte; bytes from 0x80 up are copied
// without a UTF-8 check.
void WriteRule(OutputWriter& writer, const std::string& key, const RuleParams& params);

// WriteRule on outputWriter: the per-entry callback of the dump.
void DumpRule(const std::string& key, const RuleParams& params);

}  // namespace qz::evmon

#endif  // QZ_EVMON_RULE_DUMP_H_
