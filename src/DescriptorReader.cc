#include "DescriptorReader.h"

#include <array>
#include <string>
#include <utility>

namespace qz::evmon {

namespace {

// LevelDB's log format: 32 KiB blocks of records, each with a 7-byte header
// (masked CRC-32C of type and payload, payload length, type); a block's
// tail too short for a header is padding.
constexpr std::size_t kBlockSize = 32768;
constexpr std::size_t kHeaderSize = 7;
enum RecordType { kZeroType = 0, kFullType = 1, kFirstType = 2, kMiddleType = 3, kLastType = 4 };

// The tags of a version edit's fields.
enum Tag {
  kComparator = 1,
  kLogNumber = 2,
  kNextFileNumber = 3,
  kLastSequence = 4,
  kCompactPointer = 5,
  kDeletedFile = 6,
  kNewFile = 7,
  kPrevLogNumber = 9,
};

std::array<std::uint32_t, 256> Crc32cTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t byte = 0; byte < 256; ++byte) {
    std::uint32_t crc = byte;
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc >> 1) ^ ((crc & 1) != 0 ? 0x82F63B78u : 0);
    }
    table[byte] = crc;
  }
  return table;
}

std::uint32_t MaskedCrc32c(std::string_view data) {
  static const std::array<std::uint32_t, 256> table = Crc32cTable();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const unsigned char byte : data) {
    crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
  }
  crc = ~crc;
  return ((crc >> 15) | (crc << 17)) + 0xA282EAD8u;
}

std::uint32_t LittleEndian(std::string_view bytes) {
  std::uint32_t value = 0;
  for (std::size_t i = bytes.size(); i-- > 0;) {
    value = (value << 8) | static_cast<unsigned char>(bytes[i]);
  }
  return value;
}

class EditReader {
 public:
  explicit EditReader(std::string_view edit) : rest(edit) {}

  bool AtEnd() const { return rest.empty(); }

  bool Varint(std::uint64_t& value) {
    value = 0;
    for (int shift = 0; shift <= 63 && !rest.empty(); shift += 7) {
      const auto byte = static_cast<unsigned char>(rest.front());
      rest.remove_prefix(1);
      value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
      if ((byte & 0x80) == 0) {
        return true;
      }
    }
    return false;
  }

  bool SkipLengthPrefixed() {
    std::uint64_t length;
    if (!Varint(length) || length > rest.size()) {
      return false;
    }
    rest.remove_prefix(length);
    return true;
  }

 private:
  std::string_view rest;
};

// Applies one version edit; false when it does not decode.
bool Apply(std::string_view edit, LiveFiles& files) {
  EditReader reader(edit);
  while (!reader.AtEnd()) {
    std::uint64_t tag, level, number, ignored;
    if (!reader.Varint(tag)) {
      return false;
    }
    bool decoded = false;
    switch (tag) {
      case kComparator:
        decoded = reader.SkipLengthPrefixed();
        break;
      case kLogNumber:
        decoded = reader.Varint(files.logNumber);
        break;
      case kPrevLogNumber:
        decoded = reader.Varint(files.prevLogNumber);
        break;
      case kNextFileNumber:
      case kLastSequence:
        decoded = reader.Varint(ignored);
        break;
      case kCompactPointer:
        decoded = reader.Varint(level) && reader.SkipLengthPrefixed();
        break;
      case kDeletedFile:
        decoded = reader.Varint(level) && reader.Varint(number);
        if (decoded) {
          files.tables.erase(number);
        }
        break;
      case kNewFile:
        decoded = reader.Varint(level) && reader.Varint(number) && reader.Varint(ignored) &&
                  reader.SkipLengthPrefixed() && reader.SkipLengthPrefixed();
        if (decoded) {
          files.tables.insert(number);
        }
        break;
    }
    if (!decoded) {
      return false;
    }
  }
  return true;
}

}  // namespace

LiveFiles ReadLiveFiles(std::string_view descriptor) {
  LiveFiles files;
  std::string fragments;
  bool inFragments = false;
  std::size_t offset = 0;
  while (true) {
    const std::size_t blockLeft = kBlockSize - offset % kBlockSize;
    if (blockLeft < kHeaderSize) {
      offset += blockLeft;
      continue;
    }
    if (descriptor.size() < offset + kHeaderSize) {
      files.complete = offset >= descriptor.size() && !inFragments;
      break;
    }
    const std::string_view header = descriptor.substr(offset, kHeaderSize);
    const std::size_t length = LittleEndian(header.substr(4, 2));
    const int type = static_cast<unsigned char>(header[6]);
    if (type == kZeroType && length == 0) {
      // Preallocated space: the rest of the block holds nothing.
      offset += blockLeft;
      continue;
    }
    if (kHeaderSize + length > blockLeft || descriptor.size() < offset + kHeaderSize + length) {
      files.complete = false;
      break;
    }
    const std::string_view typeAndPayload = descriptor.substr(offset + 6, 1 + length);
    if (MaskedCrc32c(typeAndPayload) != LittleEndian(header.substr(0, 4))) {
      files.complete = false;
      break;
    }
    const std::string_view payload = typeAndPayload.substr(1);
    offset += kHeaderSize + length;

    std::string_view edit;
    if (type == kFullType) {
      edit = payload;
    } else if (type == kFirstType) {
      fragments.assign(payload);
      inFragments = true;
      continue;
    } else if (type == kMiddleType && inFragments) {
      fragments.append(payload);
      continue;
    } else if (type == kLastType && inFragments) {
      fragments.append(payload);
      edit = fragments;
    } else {
      files.complete = false;
      break;
    }
    inFragments = false;
    if (!Apply(edit, files)) {
      files.complete = false;
      break;
    }
  }
  return files;
}

}  // namespace qz::evmon
