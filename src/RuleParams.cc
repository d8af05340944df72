#include "RuleParams.h"

#include <cstddef>
#include <stdexcept>

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

namespace qz::evmon {

namespace {

using PoolAllocator = rapidjson::MemoryPoolAllocator<>;
using RuleDocument = rapidjson::GenericDocument<rapidjson::UTF8<>, PoolAllocator, PoolAllocator>;

// A rule document is a few dozen bytes. Parsing it inside buffers on the
// stack keeps a traversal of a million rules free of heap allocations; a
// larger text spills over to the heap.
constexpr std::size_t kParseBufferSize = 512;

}  // namespace

void ParseRuleParams(const char* json, RuleParams& params) {
  alignas(std::max_align_t) char valueBuffer[kParseBufferSize];
  alignas(std::max_align_t) char stackBuffer[kParseBufferSize];
  PoolAllocator valueAllocator(valueBuffer, sizeof valueBuffer);
  PoolAllocator stackAllocator(stackBuffer, sizeof stackBuffer);
  RuleDocument document(&valueAllocator, kParseBufferSize / 2, &stackAllocator);

  document.Parse(json);
  if (document.HasParseError()) {
    throw std::invalid_argument("Error parsing json");
  }
  if (!document.IsObject() || document.MemberCount() != 1) {
    throw std::invalid_argument("Wrong RuleParams json format");
  }
  const auto enabled = document.FindMember("enabled");
  if (enabled == document.MemberEnd() || !enabled->value.IsBool()) {
    throw std::invalid_argument("Wrong RuleParams json format");
  }
  params.enabled = enabled->value.GetBool();
}

void SerializeRuleParams(const RuleParams& params, std::string& json) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  writer.StartObject();
  writer.Key("enabled");
  writer.Bool(params.enabled);
  writer.EndObject();
  json.assign(buffer.GetString(), buffer.GetSize());
}

bool GetRuleParams(const std::shared_ptr<KeyValueStorage>& storage, const std::string& key,
                   RuleParams& params) {
  std::string json;
  if (!storage->Get(key, json)) {
    return false;
  }
  ParseRuleParams(json.c_str(), params);
  return true;
}

bool PutRuleParams(const std::shared_ptr<KeyValueStorage>& storage, const std::string& key,
                   const RuleParams& params) {
  std::string json;
  SerializeRuleParams(params, json);
  return storage->Put(key, json);
}

void ForEachRuleParams(const std::shared_ptr<KeyValueStorage>& storage,
                       RuleParamsCallback callback) {
  storage->ForEach([&callback](const std::string& key, const std::string& json) {
    RuleParams params;
    ParseRuleParams(json.c_str(), params);
    callback(key, params);
  });
}

}  // namespace qz::evmon
