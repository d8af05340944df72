#include "RuleDump.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstring>

#include "RuleParams.h"

namespace qz::evmon {

namespace {

constexpr std::uint64_t kEveryByte = 0x0101010101010101u;
constexpr std::uint64_t kHighBits = 0x8080808080808080u;

// Whether some byte of `word` is below `limit` (at most 0x80).
constexpr bool HasByteBelow(std::uint64_t word, std::uint64_t limit) {
  return ((word - kEveryByte * limit) & ~word & kHighBits) != 0;
}

constexpr bool HasByte(std::uint64_t word, unsigned char byte) {
  return HasByteBelow(word ^ (kEveryByte * byte), 1);
}

constexpr bool WordNeedsEscape(std::uint64_t word) {
  return HasByteBelow(word, 0x20) || HasByte(word, '"') || HasByte(word, '\\');
}

// Whether `name` holds a byte that is escaped. Eight bytes at a time: a
// byte-by-byte check was the hottest spot of a dump of long names.
// bench/veltrix/run long: 4.77 -> 3.02 billion instructions, 0.44 -> 0.32 s of CPU.
bool NeedsEscape(std::string_view name) {
  std::size_t at = 0;
  for (; at + 8 <= name.size(); at += 8) {
    std::uint64_t word;
    std::memcpy(&word, name.data() + at, 8);
    if (WordNeedsEscape(word)) {
      return true;
    }
  }
  if (at == name.size()) {
    return false;
  }
  std::uint64_t tail = kEveryByte * 'a';  // pads with a byte that is never escaped
  std::memcpy(&tail, name.data() + at, name.size() - at);
  return WordNeedsEscape(tail);
}

// The two-character escape of `byte`, or 0 when it has none.
char ShortEscape(unsigned char byte) {
  switch (byte) {
    case '"':
      return '"';
    case '\\':
      return '\\';
    case '\b':
      return 'b';
    case '\t':
      return 't';
    case '\n':
      return 'n';
    case '\f':
      return 'f';
    case '\r':
      return 'r';
    default:
      return 0;
  }
}

// The pages of the text are prefaulted this far ahead of the writes: far
// enough that the calls are few, near enough that the untouched rest of
// the buffer's capacity stays out of memory. bench/veltrix/run, a million
// names of about 200 bytes: 0.33 s instead of 0.38 s. (Asking for
// transparent huge pages as well was quicker at best, 0.29 s, but took 0.7 s
// whenever the kernel compacted memory first, as it did in every round of
// the benchmark.)
constexpr std::size_t kPrefaultAhead = 1u << 20;
constexpr std::size_t kPageSize = 4096;

// Makes the pages holding [begin, begin + bytes) present and writable in one
// call: one page fault per page would cost a good part of the time it takes
// to read the database. Only advice: without it the pages come at the first
// write.
void Prefault(char* begin, std::size_t bytes) {
  const auto first = reinterpret_cast<std::uintptr_t>(begin) / kPageSize * kPageSize;
  const auto end = reinterpret_cast<std::uintptr_t>(begin) + bytes;
  if (end > first) {
    madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
  }
}

constexpr char kTrueTail[] = "\":true";
constexpr char kFalseTail[] = "\":false";

}  // namespace

OutputDocument::OutputDocument() { text.Put('{'); }

void OutputDocument::Add(std::string_view name, bool enabled) {
  const std::string_view tail = enabled ? std::string_view(kTrueTail, sizeof kTrueTail - 1)
                                        : std::string_view(kFalseTail, sizeof kFalseTail - 1);
  const std::size_t separator = empty ? 0 : 1;
  empty = false;
  // An escaped name takes at most six bytes a byte.
  const std::size_t most = separator + 1 + 6 * name.size() + tail.size();
  if (text.GetSize() + most > prefaultedSize) {
    PrefaultAhead(most);
  }
  if (NeedsEscape(name)) {
    char* const head = text.Push(separator + 1);
    head[0] = ',';
    head[separator] = '"';
    AppendEscaped(name);
    std::memcpy(text.Push(tail.size()), tail.data(), tail.size());
    return;
  }
  // The common case in one piece: [,]"name":flag
  char* out = text.Push(separator + 1 + name.size() + tail.size());
  *out = ',';
  out += separator;
  *out++ = '"';
  std::memcpy(out, name.data(), name.size());
  std::memcpy(out + name.size(), tail.data(), tail.size());
}

void OutputDocument::PrefaultAhead(std::size_t bytes) {
  // The buffer's stack is RapidJSON's own; reserving first makes its
  // capacity cover what is prefaulted.
  text.Reserve(bytes + kPrefaultAhead);
  const std::size_t size = text.GetSize();
  prefaultedSize = size + bytes + kPrefaultAhead;
  Prefault(text.stack_.Bottom<char>() + size, prefaultedSize - size);
}

void OutputDocument::AppendEscaped(std::string_view name) {
  static const char kHexDigits[] = "0123456789ABCDEF";
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != '"' && byte != '\\') {
      text.Put(c);
    } else if (const char escape = ShortEscape(byte)) {
      char* const out = text.Push(2);
      out[0] = '\\';
      out[1] = escape;
    } else {
      char* const out = text.Push(6);
      std::memcpy(out, "\\u00", 4);
      out[4] = kHexDigits[byte >> 4];
      out[5] = kHexDigits[byte & 0xF];
    }
  }
}

std::string_view OutputDocument::Finish() {
  char* const end = text.Push(2);
  end[0] = '}';
  end[1] = '\n';
  return std::string_view(text.GetString(), text.GetSize());
}

void DumpRules(const KeyValueStorage& storage, OutputDocument& document) {
  storage.ForEachView([&document](std::string_view name, std::string_view value) {
    RuleParams params;
    ParseRuleParams(value, params);
    document.Add(name, params.enabled);
  });
}

}  // namespace qz::evmon
