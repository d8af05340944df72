#include "fpta_recorder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "fpta.h"

namespace {

std::string Hex(const void* pointer) {
  char text[32];
  std::snprintf(text, sizeof(text), "%#llx",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(pointer)));
  return text;
}

class Recorder : public ::testing::Test {
 protected:
  void SetUp() override {
    fpta_recorder_reset();
    fpta_recorder_enable(1);
  }
  void TearDown() override {
    fpta_recorder_enable(0);
    fpta_recorder_reset();
  }
  static std::string Last() { return fpta_recorder_last_call(); }
};

TEST_F(Recorder, WritesIntegersEnumerationsAndPointers) {
  fpta_db* db = nullptr;
  // An empty path is refused before anything is opened.
  const char* path = "";
  fpta_db_open(path, fpta_lazy, static_cast<fpta_regime_flags>(5), 0644, 1048576, true, &db);
  EXPECT_EQ(Last(), "fpta_db_open(" + Hex(path) + ", 2, 5, 420, 1048576, 1, " + Hex(&db) + ")");
  fptu_upsert_uint64(nullptr, 3, UINT64_MAX);
  EXPECT_EQ(Last(), "fptu_upsert_uint64(null, 3, 18446744073709551615)");
  fptu_insert_int32(nullptr, 0, -1);
  EXPECT_EQ(Last(), "fptu_insert_int32(null, 0, -1)");
  fptu_upsert_int64(nullptr, 0, INT64_MIN);
  EXPECT_EQ(Last(), "fptu_upsert_int64(null, 0, -9223372036854775808)");
  fpta_transaction_end(nullptr, false);
  EXPECT_EQ(Last(), "fpta_transaction_end(null, 0)");
  fpta_strerror(FPTA_NOTFOUND);
  EXPECT_EQ(Last(), "fpta_strerror(-30798)");
  fptu_space(SIZE_MAX, 0);
  EXPECT_EQ(Last(), "fptu_space(18446744073709551615, 0)");
  fpta_column_describe(nullptr, fptu_any, fpta_secondary_unique_ordered_obverse_nullable, nullptr);
  EXPECT_EQ(Last(), "fpta_column_describe(null, -1, 992, null)");
}

TEST_F(Recorder, WritesFloatsAtFullPrecision) {
  fptu_insert_fp32(nullptr, 1, 0.1f);
  EXPECT_EQ(Last(), "fptu_insert_fp32(null, 1, 0.100000001)");
  fptu_upsert_fp64(nullptr, 1, 0.1);
  EXPECT_EQ(Last(), "fptu_upsert_fp64(null, 1, 0.10000000000000001)");
  fptu_insert_fp64(nullptr, 2, -1e300);
  EXPECT_EQ(Last(), "fptu_insert_fp64(null, 2, -1.0000000000000001e+300)");
}

TEST_F(Recorder, WritesRecordsPassedByValue) {
  fpta_cursor* cursor = nullptr;
  fpta_cursor_open(nullptr, nullptr, fpta_value_sint(-2), fpta_value_cstr(nullptr), nullptr,
                   fpta_descending, &cursor);
  EXPECT_EQ(Last(),
            "fpta_cursor_open(null, null, {type=1,length=4294967295,payload=0xfffffffffffffffe}, "
            "{type=5,length=0,payload=0x0000000000000000}, null, 2, " +
                Hex(&cursor) + ")");
  const fptu_unit units[2] = {};
  fptu_insert_nested(nullptr, 2, fptu_ro{{units, 8}});
  EXPECT_EQ(Last(), "fptu_insert_nested(null, 2, {units=" + Hex(units) + ",total_bytes=8})");
  fptu_time time;
  time.fixedpoint = 0x8000000000000001u;
  fptu_upsert_datetime(nullptr, 0, time);
  EXPECT_EQ(Last(), "fptu_upsert_datetime(null, 0, 9223372036854775809)");
  fptu_insert_opaque_iov(nullptr, 0, iovec{nullptr, 5});
  EXPECT_EQ(Last(), "fptu_insert_opaque_iov(null, 0, {base=null,len=5})");
  fpta_field2value(nullptr);
  EXPECT_EQ(Last(), "fpta_field2value(null)");
}

TEST_F(Recorder, WritesTheNamedArgumentsOfTheVariadicFunction) {
  const char* name = "c";
  const char* a = "a";
  const char* b = "b";
  fpta_describe_composite_index_va(name, fpta_primary_unique_ordered_reverse, nullptr, a, b,
                                   nullptr);
  EXPECT_EQ(Last(), "fpta_describe_composite_index_va(" + Hex(name) + ", 96, null, " + Hex(a) +
                        ", " + Hex(b) + ", null, ...)");
}

TEST_F(Recorder, InlineInsertRowReachesPutWithInsert) {
  fpta_insert_row(nullptr, nullptr, fptu_ro{});
  EXPECT_EQ(Last(), "fpta_put(null, null, {units=null,total_bytes=0}, 0)");
}

TEST_F(Recorder, KeepsErrnoUnlessAnExitErrnoIsSet) {
  errno = 42;
  fptu_space(1, 1);
  EXPECT_EQ(fpta_recorder_errno_at_entry(), 42);
  EXPECT_EQ(errno, 42);
  fpta_recorder_set_exit_errno(7);
  fpta_strerror(0);
  EXPECT_EQ(errno, 7);
  EXPECT_EQ(fpta_recorder_errno_at_entry(), 42);
}

TEST_F(Recorder, DelaysEveryReturnBySetMilliseconds) {
  fpta_recorder_set_delay_ms(30);
  const auto start = std::chrono::steady_clock::now();
  fptu_space(0, 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
}

TEST_F(Recorder, RecordsNothingWhileOffAndPerThread) {
  fpta_strerror(1);
  std::thread([] {
    fptu_space(0, 0);
    EXPECT_STREQ(fpta_recorder_last_call(), "fptu_space(0, 0)");
  }).join();
  EXPECT_EQ(Last(), "fpta_strerror(1)");
  fpta_recorder_enable(0);
  fpta_strerror(2);
  EXPECT_EQ(Last(), "fpta_strerror(1)");
  fpta_recorder_reset();
  EXPECT_EQ(Last(), "");
}

}  // namespace
