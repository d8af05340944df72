// The abstract byte-string stores of veltrix. Keys and values are arbitrary
// byte strings, embedded zero bytes included.

#ifndef QZ_EVMON_KEY_VALUE_STORAGE_H_
#define QZ_EVMON_KEY_VALUE_STORAGE_H_

#include <functional>
#include <string>
#include <string_view>

namespace qz::evmon {

// Traversal callbacks are called synchronously. The references they receive
// are valid only during the call. A callback must not Put or Delete on the
// store it is traversing. An empty callback throws std::bad_function_call
// when the first entry is reached.
using EntryCallback = std::function<void(const std::string& key, const std::string& value)>;
using KeyCallback = std::function<void(const std::string& key)>;
using EntryViewCallback = std::function<void(std::string_view key, std::string_view value)>;

// A key-value store. Implementations may buffer writes, but every operation
// sees the effect of every earlier one. Not thread-safe: one object must not
// be used from two threads at once.
class KeyValueStorage {
 public:
  virtual ~KeyValueStorage() = default;

  // Stores `value` under `key`, replacing any earlier value. Returns true.
  // Throws std::runtime_error when the store fails to write.
  virtual bool Put(const std::string& key, const std::string& value) = 0;

  // Returns true and fills `value` when `key` has a value; returns false and
  // leaves `value` untouched when it has none. Throws std::runtime_error on
  // any other failure.
  virtual bool Get(const std::string& key, std::string& value) const = 0;

  // Removes `key` and its value, if any. Returns true.
  virtual bool Delete(const std::string& key) = 0;

  // Calls `callback` once for every key that Get would find, with the value
  // Get would return. Throws std::runtime_error when reading fails, possibly
  // after some entries were visited.
  virtual void ForEach(const EntryCallback& callback) const = 0;

  // As ForEach, passing keys only.
  virtual void ForEachKey(const KeyCallback& callback) const = 0;

  // As ForEach, passing views of the store's own bytes instead of copies:
  // the quick way through every entry.
  virtual void ForEachView(const EntryViewCallback& callback) const = 0;
};

// A store whose traversals visit keys in ascending bytewise order.
class OrderedKeyValueStorage : public KeyValueStorage {
 public:
  // As ForEach, restricted to the keys that begin with `prefix`. An empty
  // prefix visits every entry.
  virtual void ForEachWithPrefix(const std::string& prefix,
                                 const EntryCallback& callback) const = 0;
};

}  // namespace qz::evmon

#endif  // QZ_EVMON_KEY_VALUE_STORAGE_H_
