// Fuzzes libfpta's tuple layer. The first byte picks one of three games:
//   0  the rest is a read-only tuple image: fptu_fetch reads only inside it,
//      and a tuple it accepts is sound;
//   1  the rest is a writable tuple with its counters: fptu_check reads only
//      inside the units its `end` counter gives;
//   2  the rest is a sequence of inserts and upserts on a fresh tuple: every
//      call keeps the tuple sound and answers a limit with a status.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "FuzzSupport.h"
#include "fpta.h"

namespace {

using qz::evmon::fuzz::FreeDeleter;
using qz::evmon::fuzz::Require;
using Input = qz::evmon::fuzz::ByteReader;

void FetchImage(Input& input) {
  const unsigned more = input.Byte();
  const std::vector<std::uint8_t> image = input.Bytes(SIZE_MAX);
  // A heap copy of exactly the image, so that a read past it is caught.
  std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[image.size() + 1]);
  std::copy(image.begin(), image.end(), exact.get());
  const fptu_ro ro{{reinterpret_cast<const fptu_unit*>(exact.get()), image.size()}};
  std::vector<std::uint64_t> buffer((image.size() + 64 + more * 4) / 8 + 8);
  fptu_rw* copy = fptu_fetch(ro, buffer.data(), buffer.size() * 8, more);
  if (copy != nullptr) Require(fptu_check(copy) == nullptr);
}

void CheckCounters(Input& input) {
  const std::vector<std::uint8_t> bytes = input.Bytes(SIZE_MAX);
  const std::size_t header = offsetof(fptu_rw, units);
  if (bytes.size() < header) return;
  const std::size_t units = (bytes.size() - header) / sizeof(fptu_unit);
  std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[header + units * sizeof(fptu_unit)]);
  std::memcpy(exact.get(), bytes.data(), header + units * sizeof(fptu_unit));
  auto* pt = reinterpret_cast<fptu_rw*>(exact.get());
  pt->end = static_cast<unsigned>(units);
  fptu_check(pt);
}

bool IsStatus(int status) {
  return status == FPTA_SUCCESS || status == FPTA_EINVAL || status == FPTU_ETOOLONG ||
         status == FPTU_ENOSPACE;
}

void WriteFields(Input& input) {
  const unsigned items = input.Byte() % 64;
  const unsigned dataBytes = input.Short() % 4096;
  std::unique_ptr<fptu_rw, FreeDeleter> pt(fptu_alloc(items, dataBytes));
  Require(pt != nullptr);
  std::unique_ptr<fptu_rw, FreeDeleter> other(fptu_alloc(4, 256));
  Require(other != nullptr && fptu_insert_uint32(other.get(), 1, 5) == FPTA_SUCCESS);
  while (!input.Empty()) {
    const unsigned operation = input.Byte();
    // Mostly small columns, so that upserts meet fields; now and then one
    // past the last column.
    const unsigned column = operation & 0x80 ? input.Short() % 1100 : input.Byte() % 8;
    const bool upsert = operation & 0x40;
    const std::uint64_t number = input.Short() | std::uint64_t{input.Short()} << 16;
    std::vector<std::uint8_t> bytes = input.Bytes(input.Short() % 300);
    bytes.resize(32);
    const std::size_t length = input.Byte() % 4 == 0 ? fpta_max_col_bytes + 1 : input.Short() % 300;
    std::vector<char> value(length + 1, 'v');
    int status;
    switch (operation & 0x0F) {
      case 0:
        status = upsert ? fptu_upsert_uint16(pt.get(), column, number)
                        : fptu_insert_uint16(pt.get(), column, number);
        break;
      case 1:
        status = upsert ? fptu_upsert_uint32(pt.get(), column, number)
                        : fptu_insert_uint32(pt.get(), column, number);
        break;
      case 2:
        status = upsert ? fptu_upsert_int64(pt.get(), column, number)
                        : fptu_insert_int64(pt.get(), column, number);
        break;
      case 3:
        status = upsert ? fptu_upsert_256(pt.get(), column, bytes.data())
                        : fptu_insert_256(pt.get(), column, bytes.data());
        break;
      case 4:
        status = upsert ? fptu_upsert_96(pt.get(), column, bytes.data())
                        : fptu_insert_96(pt.get(), column, bytes.data());
        break;
      case 5:
        status = upsert ? fptu_upsert_string(pt.get(), column, value.data(), length)
                        : fptu_insert_string(pt.get(), column, value.data(), length);
        break;
      case 6:
        status = upsert ? fptu_upsert_opaque(pt.get(), column, value.data(), length)
                        : fptu_insert_opaque(pt.get(), column, value.data(), length);
        break;
      case 7: {
        // The tuple's own view, or another tuple's.
        const fptu_ro source = fptu_take_noshrink(number & 1 ? pt.get() : other.get());
        status = upsert ? fptu_upsert_nested(pt.get(), column, source)
                        : fptu_insert_nested(pt.get(), column, source);
        break;
      }
      case 8:
        status = fptu_upsert_null(pt.get(), column);
        break;
      default: {
        // Bytes of one of its own fields as the value of another.
        const fptu_ro own = fptu_take_noshrink(pt.get());
        const std::size_t start = own.total_bytes == 0 ? 0 : number % own.total_bytes;
        const std::size_t take = own.total_bytes - start;
        status = fptu_upsert_opaque(pt.get(), column,
                                    reinterpret_cast<const char*>(own.units) + start, take);
        break;
      }
    }
    Require(IsStatus(status));
    Require(fptu_check(pt.get()) == nullptr);
    if (column >= fpta_max_cols) Require(status == FPTA_EINVAL);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input input(data, size);
  switch (input.Byte() % 3) {
    case 0:
      FetchImage(input);
      break;
    case 1:
      CheckCounters(input);
      break;
    default:
      WriteFields(input);
      break;
  }
  return 0;
}
