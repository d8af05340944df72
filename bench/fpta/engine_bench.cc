// One measurement of the table engine from C++, or of its floor, raw LMDB,
// for bench/fpta/run: in a fresh directory, the four timed steps on ROWS rows
// of the benchmark table (bench/fpta/run says what each step does).
//
// Usage: fpta-engine-bench engine|lmdb ROWS DIR
//   engine: libfpta's C interface, the database file DIR/bench.fpta opened
//           with fpta_sync; timed: insert, lookup, reads, scan,
//           filtered_scan, shared_scan.
//   lmdb:   LMDB alone, the file DIR/bench.lmdb with LMDB's default (synced)
//           commits, one DBI holding the same key and row bytes the engine is
//           given; timed: insert, lookup, scan (a cursor walk).
// Prints one JSON object of seconds per step; exit status 1 on any failure,
// after a message on stderr that names the call and gives its status text.

#include <fpta.h>
#include <lmdb.h>

#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// The rows, the same in bench/fpta/python_ways.py. Row i (0-based) holds a
// key spread over 63 bits (a bijection of i, so inserts come in random key
// order), a 15-byte name, a float in [0, 1) and one of 1000 groups.
constexpr uint64_t kKeyMultiplier = 0x9E3779B97F4A7C15u;
constexpr uint64_t kKeyMask = (uint64_t{1} << 63) - 1;
constexpr size_t kNameBytes = 15;
constexpr uint64_t kLookupStride = 7919;  // a prime: coprime with every ROWS of 10^k
constexpr double kFilterThreshold = 0.5;  // the filtered scan keeps rows with fp above it
constexpr int kSharedLevels = 8;  // and-nodes over the comparison in the shared scan's filter

uint64_t KeyOf(uint64_t i) { return ((i + 1) * kKeyMultiplier) & kKeyMask; }
double FloatOf(uint64_t i) { return static_cast<double>(KeyOf(i) % 1000) / 1000.0; }
int64_t GroupOf(uint64_t i) { return static_cast<int64_t>(i % 1000) - 500; }
uint64_t LookupRow(uint64_t step, uint64_t rows) { return step * kLookupStride % rows; }

// The rows' names, made before any clock starts, as the Python side does.
class Names {
 public:
  explicit Names(uint64_t rows) : text_(rows * kStride) {
    for (uint64_t i = 0; i < rows; ++i)
      std::snprintf(&text_[i * kStride], kStride, "name-%010" PRIu64, i % 10000000000u);
  }
  const char* operator[](uint64_t i) const { return &text_[i * kStride]; }

 private:
  static constexpr size_t kStride = kNameBytes + 1;
  std::vector<char> text_;
};

// What every scan must find: how many rows and the wrapping sum of their keys.
struct Tally {
  uint64_t rows = 0;
  uint64_t key_sum = 0;
  void Add(uint64_t key) {
    ++rows;
    key_sum += key;
  }
  bool operator==(const Tally& other) const {
    return rows == other.rows && key_sum == other.key_sum;
  }
};

Tally Expected(uint64_t rows, bool filtered) {
  Tally tally;
  for (uint64_t i = 0; i < rows; ++i)
    if (!filtered || FloatOf(i) > kFilterThreshold) tally.Add(KeyOf(i));
  return tally;
}

[[noreturn]] void Fail(const char* call, const char* text) {
  std::fprintf(stderr, "fpta-engine-bench: %s: %s\n", call, text);
  std::exit(1);
}

void CheckFpta(int status, const char* call) {
  if (status != FPTA_SUCCESS) Fail(call, fpta_strerror(status));
}

void CheckLmdb(int status, const char* call) {
  if (status != MDB_SUCCESS) Fail(call, mdb_strerror(status));
}

void CheckTally(const Tally& seen, const Tally& expected, const char* step) {
  if (!(seen == expected)) Fail(step, "rows or keys differ from those inserted");
}

class Stopwatch {
 public:
  double Seconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

 private:
  using Clock = std::chrono::steady_clock;
  Clock::time_point start_ = Clock::now();
};

// Builds row i into pt, whose fields the previous row left in place, so every
// upsert overwrites a field of the same size.
fptu_ro BuildRow(fptu_rw* pt, uint64_t i, const Names& names, const unsigned (&columns)[4]) {
  CheckFpta(fptu_upsert_uint64(pt, columns[0], KeyOf(i)), "fptu_upsert_uint64");
  CheckFpta(fptu_upsert_string(pt, columns[1], names[i], kNameBytes), "fptu_upsert_string");
  CheckFpta(fptu_upsert_fp64(pt, columns[2], FloatOf(i)), "fptu_upsert_fp64");
  CheckFpta(fptu_upsert_int64(pt, columns[3], GroupOf(i)), "fptu_upsert_int64");
  return fptu_take_noshrink(pt);
}

struct TupleDeleter {
  void operator()(fptu_rw* pt) const { std::free(pt); }
};
using Tuple = std::unique_ptr<fptu_rw, TupleDeleter>;

Tuple NewRowTuple() {
  Tuple pt(fptu_alloc(4, 8 + 4 + kNameBytes + 1 + 8 + 8));
  if (!pt) Fail("fptu_alloc", "no memory");
  return pt;
}

// ---------------------------------------------------------------------------
// The engine through its C interface.

class EngineBench {
 public:
  EngineBench(const std::string& dir, uint64_t rows) : rows_(rows) {
    CheckFpta(fpta_db_open((dir + "/bench.fpta").c_str(), fpta_sync, fpta_regime_default, 0644, 0,
                           true, &db_),
              "fpta_db_open");
    CheckFpta(fpta_table_init(&table_, "bench"), "fpta_table_init");
    const char* names[4] = {"key", "name", "fp", "grp"};
    for (int c = 0; c < 4; ++c)
      CheckFpta(fpta_column_init(&table_, &columns_[c], names[c]), "fpta_column_init");
    CreateTable();
  }
  ~EngineBench() { CheckFpta(fpta_db_close(db_), "fpta_db_close"); }

  double Insert() {
    const Names names(rows_);
    Stopwatch watch;
    fpta_txn* txn = Begin(fpta_write);
    unsigned numbers[4];
    for (int c = 0; c < 4; ++c) numbers[c] = columns_[c].number;
    Tuple pt = NewRowTuple();
    for (uint64_t i = 0; i < rows_; ++i)
      CheckFpta(fpta_put(txn, &table_, BuildRow(pt.get(), i, names, numbers), fpta_insert),
                "fpta_put");
    CheckFpta(fpta_transaction_end(txn, false), "fpta_transaction_end (commit)");
    return watch.Seconds();
  }

  // Every row found by its primary key, all in one read transaction, or each
  // in one of its own (as a server answering single requests does).
  double Lookup(bool transaction_each) {
    Stopwatch watch;
    fpta_txn* txn = transaction_each ? nullptr : Begin(fpta_read);
    fptu_ro row;
    uint64_t bytes = 0;
    for (uint64_t step = 0; step < rows_; ++step) {
      if (transaction_each) txn = Begin(fpta_read);
      const fpta_value key = fpta_value_uint(KeyOf(LookupRow(step, rows_)));
      CheckFpta(fpta_get(txn, &columns_[0], &key, &row), "fpta_get");
      bytes += row.total_bytes;
      if (transaction_each) CheckFpta(fpta_transaction_end(txn, true), "fpta_transaction_end");
    }
    if (!transaction_each) CheckFpta(fpta_transaction_end(txn, true), "fpta_transaction_end");
    if (bytes == 0) Fail("fpta_get", "empty rows");
    return watch.Seconds();
  }

  double Scan(const fpta_filter* filter) {
    const Tally expected = Expected(rows_, filter != nullptr);
    Stopwatch watch;
    fpta_txn* txn = Begin(fpta_read);
    fpta_cursor* cursor = nullptr;
    CheckFpta(fpta_cursor_open(txn, &columns_[0], fpta_value_begin(), fpta_value_end(), filter,
                               fpta_ascending, &cursor),
              "fpta_cursor_open");
    Tally seen;
    fptu_ro row;
    fpta_value key;
    uint64_t previous = 0;
    int status = fpta_cursor_get(cursor, &row);
    while (status == FPTA_SUCCESS) {
      CheckFpta(fpta_get_column(row, &columns_[0], &key), "fpta_get_column");
      if (seen.rows > 0 && key.uint <= previous) Fail("fpta_cursor_move", "keys out of order");
      previous = key.uint;
      seen.Add(key.uint);
      status = fpta_cursor_move(cursor, fpta_next);
      if (status == FPTA_SUCCESS) status = fpta_cursor_get(cursor, &row);
    }
    if (status != FPTA_NODATA) CheckFpta(status, "fpta_cursor_move or fpta_cursor_get");
    CheckFpta(fpta_cursor_close(cursor), "fpta_cursor_close");
    CheckFpta(fpta_transaction_end(txn, true), "fpta_transaction_end");
    const double seconds = watch.Seconds();
    CheckTally(seen, expected, filter ? "filtered scan" : "scan");
    return seconds;
  }

  // The rows whose float column is above kFilterThreshold.
  fpta_filter FloatAbove() {
    fpta_filter filter;
    std::memset(&filter, 0, sizeof filter);
    filter.type = fpta_node_gt;
    filter.node_cmp.left_id = &columns_[2];
    filter.node_cmp.right_value = fpta_value_float(kFilterThreshold);
    return filter;
  }

  // FloatAbove under kSharedLevels and-nodes, each with both operands on the
  // node below: the same rows pass, and the tree unfolded holds
  // 2^kSharedLevels comparisons. The root is the last node.
  std::vector<fpta_filter> SharedFloatAbove() {
    std::vector<fpta_filter> levels(kSharedLevels + 1, FloatAbove());
    for (size_t i = 1; i < levels.size(); ++i) {
      levels[i].type = fpta_node_and;
      levels[i].node_and.a = levels[i].node_and.b = &levels[i - 1];
    }
    return levels;
  }

 private:
  fpta_txn* Begin(fpta_level level) {
    fpta_txn* txn = nullptr;
    CheckFpta(fpta_transaction_begin(db_, level, &txn), "fpta_transaction_begin");
    for (fpta_name& column : columns_)
      CheckFpta(fpta_name_refresh_couple(txn, &table_, &column), "fpta_name_refresh");
    return txn;
  }

  void CreateTable() {
    fpta_column_set set;
    fpta_column_set_init(&set);
    CheckFpta(fpta_column_describe("key", fptu_uint64, fpta_primary_unique_ordered_obverse, &set),
              "fpta_column_describe");
    CheckFpta(fpta_column_describe("name", fptu_cstr, fpta_index_none, &set),
              "fpta_column_describe");
    CheckFpta(fpta_column_describe("fp", fptu_fp64, fpta_index_none, &set), "fpta_column_describe");
    CheckFpta(
        fpta_column_describe("grp", fptu_int64, fpta_secondary_withdups_ordered_obverse, &set),
        "fpta_column_describe");
    fpta_txn* txn = nullptr;
    CheckFpta(fpta_transaction_begin(db_, fpta_schema, &txn), "fpta_transaction_begin (schema)");
    CheckFpta(fpta_table_create(txn, "bench", &set), "fpta_table_create");
    CheckFpta(fpta_transaction_end(txn, false), "fpta_transaction_end (schema)");
  }

  uint64_t rows_;
  fpta_db* db_ = nullptr;
  fpta_name table_;
  fpta_name columns_[4];
};

// ---------------------------------------------------------------------------
// The floor: LMDB alone, one DBI, key = the engine's key encoding of an
// unsigned column (8 bytes big-endian), value = the row tuple's bytes.

void BigEndian(uint64_t value, unsigned char (&bytes)[8]) {
  for (int b = 7; b >= 0; --b, value >>= 8) bytes[b] = static_cast<unsigned char>(value);
}

uint64_t FromBigEndian(const void* data) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  uint64_t value = 0;
  for (int b = 0; b < 8; ++b) value = value << 8 | bytes[b];
  return value;
}

class LmdbBench {
 public:
  LmdbBench(const std::string& dir, uint64_t rows) : rows_(rows) {
    CheckLmdb(mdb_env_create(&env_), "mdb_env_create");
    CheckLmdb(mdb_env_set_mapsize(env_, size_t{16384} << 20), "mdb_env_set_mapsize");
    CheckLmdb(mdb_env_open(env_, (dir + "/bench.lmdb").c_str(), MDB_NOSUBDIR, 0644),
              "mdb_env_open");
    // The rows are built before the clock starts: the floor times LMDB only.
    const Names names(rows);
    Tuple pt = NewRowTuple();
    const unsigned numbers[4] = {0, 1, 2, 3};
    for (uint64_t i = 0; i < rows; ++i) {
      const fptu_ro row = BuildRow(pt.get(), i, names, numbers);
      offsets_.push_back(bytes_.size());
      bytes_.insert(bytes_.end(), reinterpret_cast<const char*>(row.units),
                    reinterpret_cast<const char*>(row.units) + row.total_bytes);
    }
    offsets_.push_back(bytes_.size());
  }
  ~LmdbBench() { mdb_env_close(env_); }

  double Insert() {
    Stopwatch watch;
    MDB_txn* txn = nullptr;
    CheckLmdb(mdb_txn_begin(env_, nullptr, 0, &txn), "mdb_txn_begin");
    CheckLmdb(mdb_dbi_open(txn, nullptr, 0, &dbi_), "mdb_dbi_open");
    unsigned char key_bytes[8];
    for (uint64_t i = 0; i < rows_; ++i) {
      BigEndian(KeyOf(i), key_bytes);
      MDB_val key{sizeof key_bytes, key_bytes};
      MDB_val value{offsets_[i + 1] - offsets_[i], &bytes_[offsets_[i]]};
      CheckLmdb(mdb_put(txn, dbi_, &key, &value, MDB_NOOVERWRITE), "mdb_put");
    }
    CheckLmdb(mdb_txn_commit(txn), "mdb_txn_commit");
    return watch.Seconds();
  }

  double Lookup() {
    Stopwatch watch;
    MDB_txn* txn = BeginRead();
    unsigned char key_bytes[8];
    uint64_t bytes = 0;
    for (uint64_t step = 0; step < rows_; ++step) {
      BigEndian(KeyOf(LookupRow(step, rows_)), key_bytes);
      MDB_val key{sizeof key_bytes, key_bytes}, value;
      CheckLmdb(mdb_get(txn, dbi_, &key, &value), "mdb_get");
      bytes += value.mv_size;
    }
    mdb_txn_abort(txn);
    if (bytes == 0) Fail("mdb_get", "empty rows");
    return watch.Seconds();
  }

  // Reads each key (decoded) and each value's first unit, the row header with
  // the row's field count.
  double Scan() {
    const Tally expected = Expected(rows_, false);
    Stopwatch watch;
    MDB_txn* txn = BeginRead();
    MDB_cursor* cursor = nullptr;
    CheckLmdb(mdb_cursor_open(txn, dbi_, &cursor), "mdb_cursor_open");
    Tally seen;
    uint64_t fields = 0;
    MDB_val key, value;
    int status = mdb_cursor_get(cursor, &key, &value, MDB_FIRST);
    for (; status == MDB_SUCCESS; status = mdb_cursor_get(cursor, &key, &value, MDB_NEXT)) {
      seen.Add(FromBigEndian(key.mv_data));
      fptu_varlen header;
      std::memcpy(&header, value.mv_data, sizeof header);
      fields += header.tuple_items;
    }
    if (status != MDB_NOTFOUND) CheckLmdb(status, "mdb_cursor_get");
    mdb_cursor_close(cursor);
    mdb_txn_abort(txn);
    const double seconds = watch.Seconds();
    CheckTally(seen, expected, "scan");
    if (fields != 4 * rows_) Fail("scan", "rows of other than four fields");
    return seconds;
  }

 private:
  MDB_txn* BeginRead() {
    MDB_txn* txn = nullptr;
    CheckLmdb(mdb_txn_begin(env_, nullptr, MDB_RDONLY, &txn), "mdb_txn_begin (read)");
    return txn;
  }

  uint64_t rows_;
  MDB_env* env_ = nullptr;
  MDB_dbi dbi_ = 0;
  std::vector<char> bytes_;
  std::vector<size_t> offsets_;
};

int Usage() {
  std::fprintf(stderr, "Usage: fpta-engine-bench engine|lmdb ROWS DIR\n");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return Usage();
  const std::string way = argv[1];
  char* end = nullptr;
  const uint64_t rows = std::strtoull(argv[2], &end, 10);
  if (*end != '\0' || rows == 0) return Usage();
  const std::string dir = argv[3];

  if (way == "engine") {
    EngineBench bench(dir, rows);
    const double insert = bench.Insert();
    const double lookup = bench.Lookup(false);
    const double reads = bench.Lookup(true);
    const double scan = bench.Scan(nullptr);
    const fpta_filter filter = bench.FloatAbove();
    const double filtered_scan = bench.Scan(&filter);
    const std::vector<fpta_filter> shared = bench.SharedFloatAbove();
    const double shared_scan = bench.Scan(&shared.back());
    std::printf(
        "{\"insert\": %.9f, \"lookup\": %.9f, \"reads\": %.9f, \"scan\": %.9f, \"filtered_scan\": "
        "%.9f, "
        "\"shared_scan\": %.9f}\n",
        insert, lookup, reads, scan, filtered_scan, shared_scan);
  } else if (way == "lmdb") {
    LmdbBench bench(dir, rows);
    const double insert = bench.Insert();
    const double lookup = bench.Lookup();
    const double scan = bench.Scan();
    std::printf("{\"insert\": %.9f, \"lookup\": %.9f, \"scan\": %.9f}\n", insert, lookup, scan);
  } else {
    return Usage();
  }
  return 0;
}
