#include "column_names.h"

#include <deque>
#include <mutex>
#include <unordered_map>

#include "names.h"

namespace fpta::column_names {

namespace {

// Sets being described at once are few; the oldest lists go first. The
// spellings by hash are bounded too: one entry per distinct name.
constexpr size_t kMaxSets = 64;
constexpr size_t kMaxSpellings = 1 << 16;

struct Memory {
  std::mutex mutex;
  std::unordered_map<const fpta_column_set*, std::vector<std::string>> by_set;
  std::deque<const fpta_column_set*> set_order;
  std::unordered_map<uint64_t, std::string> by_hash;
};

Memory& TheMemory() {
  static Memory* memory = new Memory;  // never destroyed: callers may run at exit
  return *memory;
}

}  // namespace

void Remember(const fpta_column_set* set, unsigned position, const char* name) {
  Memory& memory = TheMemory();
  const std::lock_guard<std::mutex> lock(memory.mutex);
  auto found = memory.by_set.find(set);
  if (found == memory.by_set.end()) {
    if (memory.set_order.size() == kMaxSets) {
      memory.by_set.erase(memory.set_order.front());
      memory.set_order.pop_front();
    }
    memory.set_order.push_back(set);
    found = memory.by_set.emplace(set, std::vector<std::string>()).first;
  }
  std::vector<std::string>& list = found->second;
  if (position == 0) list.clear();
  if (list.size() <= position) list.resize(position + 1);
  list[position] = name;
  if (memory.by_hash.size() >= kMaxSpellings) memory.by_hash.clear();
  memory.by_hash[names::NameHash(name)] = name;
}

std::vector<std::string> Recall(const fpta_column_set& set) {
  Memory& memory = TheMemory();
  const std::lock_guard<std::mutex> lock(memory.mutex);
  const auto listed = memory.by_set.find(&set);
  std::vector<std::string> result(set.count);
  for (unsigned position = 0; position < set.count; ++position) {
    const uint64_t hash = names::HashOfShove(set.shoves[position]);
    if (listed != memory.by_set.end() && position < listed->second.size() &&
        !listed->second[position].empty() &&
        names::NameHash(listed->second[position].c_str()) == hash) {
      result[position] = listed->second[position];
      continue;
    }
    const auto spelled = memory.by_hash.find(hash);
    if (spelled != memory.by_hash.end()) result[position] = spelled->second;
  }
  return result;
}

}  // namespace fpta::column_names
