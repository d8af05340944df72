// What a call costs with nothing to do but check its handle, and what
// fpta_cursor_count without a filter costs per row on each index kind.
//
// Usage: fpta-count-bench ROWS DIR
//   Makes DIR/count.fpta with ROWS rows (a primary key, a unique secondary
//   index, a secondary index with 100 rows a key), then prints one JSON
//   object: "call_ns" (fpta_cursor_eof, a median of 5 rounds of a million
//   calls) and "count_ns_per_row" by index (the median of 5 counts of all
//   rows in one read transaction). Exit status 1 on any failure.

#include <fpta.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 5;
constexpr long kCalls = 1000000;
constexpr uint64_t kRowsPerGroup = 100;

void Check(int status, const char* what) {
  if (status == FPTA_SUCCESS) return;
  std::fprintf(stderr, "%s: %s\n", what, fpta_strerror(status));
  std::exit(1);
}

double Median(std::vector<double> figures) {
  std::sort(figures.begin(), figures.end());
  return figures[figures.size() / 2];
}

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void Fill(fpta_db* db, uint64_t rows, fpta_name* table, fpta_name* columns) {
  fpta_column_set set;
  fpta_column_set_init(&set);
  Check(fpta_column_describe("id", fptu_uint64, fpta_primary_unique_ordered_obverse, &set),
        "describe id");
  Check(fpta_column_describe("code", fptu_uint64, fpta_secondary_unique_ordered_obverse, &set),
        "describe code");
  Check(fpta_column_describe("grp", fptu_uint64, fpta_secondary_withdups_ordered_obverse, &set),
        "describe grp");
  fpta_txn* txn;
  Check(fpta_transaction_begin(db, fpta_schema, &txn), "begin");
  Check(fpta_table_create(txn, "counted", &set), "create");
  for (int n = 0; n < 3; ++n) Check(fpta_name_refresh_couple(txn, table, &columns[n]), "refresh");
  fptu_rw* row = fptu_alloc(3, 24);
  for (uint64_t i = 0; i < rows; ++i) {
    fptu_upsert_uint64(row, 0, i);
    fptu_upsert_uint64(row, 1, rows - i);
    fptu_upsert_uint64(row, 2, i / kRowsPerGroup);
    Check(fpta_put(txn, table, fptu_take_noshrink(row), fpta_insert), "put");
  }
  std::free(row);
  Check(fpta_transaction_end(txn, false), "commit");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: fpta-count-bench ROWS DIR\n");
    return 1;
  }
  const uint64_t rows = std::strtoull(argv[1], nullptr, 10);
  const std::string path = std::string(argv[2]) + "/count.fpta";
  fpta_db* db;
  Check(fpta_db_open(path.c_str(), fpta_weak, fpta_regime_default, 0, 0, true, &db), "open");
  fpta_name table, columns[3];
  fpta_table_init(&table, "counted");
  const char* names[] = {"id", "code", "grp"};
  for (int n = 0; n < 3; ++n) fpta_column_init(&table, &columns[n], names[n]);
  Fill(db, rows, &table, columns);

  fpta_txn* txn;
  Check(fpta_transaction_begin(db, fpta_read, &txn), "begin read");
  std::printf("{\"rows\": %llu, ", static_cast<unsigned long long>(rows));
  fpta_cursor* cursor;
  Check(fpta_cursor_open(txn, &columns[0], fpta_value_begin(), fpta_value_end(), nullptr,
                         fpta_ascending, &cursor),
        "cursor");
  std::vector<double> calls;
  for (int round = 0; round < kRounds; ++round) {
    const Clock::time_point start = Clock::now();
    for (long i = 0; i < kCalls; ++i) fpta_cursor_eof(cursor);
    calls.push_back(Seconds(start) / kCalls * 1e9);
  }
  Check(fpta_cursor_close(cursor), "close");
  std::printf("\"call_ns\": %.1f, \"count_ns_per_row\": {", Median(calls));
  for (int n = 0; n < 3; ++n) {
    Check(fpta_cursor_open(txn, &columns[n], fpta_value_begin(), fpta_value_end(), nullptr,
                           fpta_ascending, &cursor),
          "cursor");
    std::vector<double> counts;
    for (int round = 0; round < kRounds; ++round) {
      size_t counted;
      const Clock::time_point start = Clock::now();
      Check(fpta_cursor_count(cursor, &counted, SIZE_MAX), "count");
      counts.push_back(Seconds(start) / static_cast<double>(rows) * 1e9);
      if (counted != rows) Check(FPTA_NODATA, "count: wrong number");
    }
    Check(fpta_cursor_close(cursor), "close");
    std::printf("%s\"%s\": %.1f", n == 0 ? "" : ", ", names[n], Median(counts));
  }
  std::printf("}}\n");
  Check(fpta_transaction_end(txn, false), "end");
  Check(fpta_db_close(db), "close db");
  return 0;
}
