#include "RuleParams.h"

#include <cstddef>
#include <cstring>
#include <stdexcept>

#include <rapidjson/document.h>

namespace qz::evmon {

namespace {

// The compact forms, the only texts this system writes. Recognising them
// outright spares nearly every stored value a full parse.
constexpr char kEnabledJson[] = R"({"enabled":true})";
constexpr char kDisabledJson[] = R"({"enabled":false})";

using PoolAllocator = rapidjson::MemoryPoolAllocator<>;
using RuleDocument = rapidjson::GenericDocument<rapidjson::UTF8<>, PoolAllocator, PoolAllocator>;

// A rule document is a few dozen bytes. Parsing it inside buffers on the
// stack keeps a traversal of a million rules free of heap allocations; a
// larger text spills over to the heap. The parse stacks come from their own
// buffer: the document's and the reader's, each starting at
// kParseStackCapacity bytes, must both fit in it, or every parse would
// allocate a fresh 64 KiB chunk.
constexpr std::size_t kValueBufferSize = 512;
constexpr std::size_t kParseStackCapacity = 256;
constexpr std::size_t kStackBufferSize = 1024;

}  // namespace

void ParseRuleParams(const char* json, RuleParams& params) {
  if (std::strcmp(json, kEnabledJson) == 0) {
    params.enabled = true;
    return;
  }
  if (std::strcmp(json, kDisabledJson) == 0) {
    params.enabled = false;
    return;
  }

  alignas(std::max_align_t) char valueBuffer[kValueBufferSize];
  alignas(std::max_align_t) char stackBuffer[kStackBufferSize];
  PoolAllocator valueAllocator(valueBuffer, sizeof valueBuffer);
  PoolAllocator stackAllocator(stackBuffer, sizeof stackBuffer);
  RuleDocument document(&valueAllocator, kParseStackCapacity, &stackAllocator);

  // The iterative parser accepts the same grammar as the recursive one, but
  // keeps its nesting in the parse stack (the buffer above, then the heap)
  // instead of the call stack: no value can exhaust the call stack.
  document.Parse<rapidjson::kParseIterativeFlag>(json);
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

void ParseRuleParams(std::string_view value, RuleParams& params) {
  if (value == kEnabledJson) {
    params.enabled = true;
    return;
  }
  if (value == kDisabledJson) {
    params.enabled = false;
    return;
  }
  const std::string json(value);
  ParseRuleParams(json.c_str(), params);
}

void SerializeRuleParams(const RuleParams& params, std::string& json) {
  json = params.enabled ? kEnabledJson : kDisabledJson;
}

bool GetRuleParams(const std::shared_ptr<KeyValueStorage>& storage, const std::string& key,
                   RuleParams& params) {
  std::string json;
  if (!storage->Get(key, json)) {
    return false;
  }
  ParseRuleParams(std::string_view(json), params);
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
    ParseRuleParams(std::string_view(json), params);
    callback(key, params);
  });
}

}  // namespace qz::evmon
