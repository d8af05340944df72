// The functions callers compute from the header alone, and the header as a C
// compiler sees it.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "fpta.h"

extern "C" {
int fpta_c_enumerations_are_signed(void);
fpta_value fpta_c_value_string(const char* text, size_t length);
void fpta_c_column_set_init(fpta_column_set* column_set);
}

namespace {

struct Construction {
  const char* label;
  fpta_value value;
  int type;
  unsigned length;
  uint64_t payload;
};

uint64_t Bits(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof(bits));
  return bits;
}

const char kText[] = "abc";

fptu_time Time(uint64_t fixedpoint) {
  fptu_time time;
  time.fixedpoint = fixedpoint;
  return time;
}

uint64_t Address(const void* pointer) { return reinterpret_cast<uintptr_t>(pointer); }

class ValueConstructor : public ::testing::TestWithParam<Construction> {};

TEST_P(ValueConstructor, FillsTypeLengthAndPayload) {
  const fpta_value& value = GetParam().value;
  EXPECT_EQ(value.type, GetParam().type);
  EXPECT_EQ(value.binary_length, GetParam().length);
  EXPECT_EQ(value.uint, GetParam().payload);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ValueConstructor,
    ::testing::Values(
        Construction{"begin", fpta_value_begin(), fpta_begin, 0xFFFFFFFFu, 0},
        Construction{"end", fpta_value_end(), fpta_end, 0xFFFFFFFFu, 0},
        Construction{"sint", fpta_value_sint(-2), fpta_signed_int, 0xFFFFFFFFu,
                     0xFFFFFFFFFFFFFFFEu},
        Construction{"uint", fpta_value_uint(UINT64_MAX), fpta_unsigned_int, 0xFFFFFFFFu,
                     UINT64_MAX},
        Construction{"datetime", fpta_value_datetime(Time(0x123456789u)), fpta_datetime,
                     0xFFFFFFFFu, 0x123456789u},
        Construction{"float", fpta_value_float(-1.0), fpta_float_point, 0xFFFFFFFFu, Bits(-1.0)},
        Construction{"cstr", fpta_value_cstr(kText), fpta_string, 3, Address(kText)},
        Construction{"cstr_null", fpta_value_cstr(nullptr), fpta_string, 0, 0},
        Construction{"string_longest", fpta_value_string(kText, 0x7FFFFFFF), fpta_string,
                     0x7FFFFFFFu, Address(kText)},
        Construction{"string_clamped", fpta_value_string(kText, 0x80000000u), fpta_string,
                     0x7FFFFFFFu, Address(kText)},
        Construction{"binary_clamped", fpta_value_binary(kText, SIZE_MAX), fpta_binary, 0x7FFFFFFFu,
                     Address(kText)},
        Construction{"binary", fpta_value_binary(kText, 2), fpta_binary, 2, Address(kText)}),
    [](const ::testing::TestParamInfo<Construction>& info) {
      return std::string(info.param.label);
    });

TEST(ValueConstructor, NullIsSixteenZeroBytes) {
  const fpta_value value = fpta_value_null();
  const unsigned char zero[sizeof(value)] = {};
  EXPECT_EQ(std::memcmp(&value, zero, sizeof(value)), 0);
}

TEST(ColumnSetInit, ClearsBytesZeroToElevenAndTheFirstPoolWordOnly) {
  for (const auto init : {&fpta_column_set_init, &fpta_c_column_set_init}) {
    auto set = std::make_unique<fpta_column_set>();
    unsigned char* bytes = reinterpret_cast<unsigned char*>(set.get());
    std::memset(bytes, 0xAB, sizeof(*set));
    init(set.get());
    for (size_t i = 0; i < sizeof(*set); ++i) {
      const bool cleared = i < 12 || i == 8180 || i == 8181;
      ASSERT_EQ(bytes[i], cleared ? 0 : 0xAB) << "byte " << i;
    }
  }
}

TEST(HeaderInC, HasSignedEnumerationsAndTheSameInlineFunctions) {
  EXPECT_EQ(fpta_c_enumerations_are_signed(), 1);
  const fpta_value in_c = fpta_c_value_string(kText, size_t{1} << 40);
  const fpta_value in_cpp = fpta_value_string(kText, size_t{1} << 40);
  EXPECT_EQ(std::memcmp(&in_c, &in_cpp, sizeof(in_c)), 0);
}

}  // namespace
