// An Env that keeps LevelDB from removing any file while it opens a database,
// so that a database whose descriptor lost entries loses no table with it.

#ifndef QZ_EVMON_OPEN_GUARD_ENV_H_
#define QZ_EVMON_OPEN_GUARD_ENV_H_

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <leveldb/env.h>

namespace qz::evmon {

// Opening a database removes the files its descriptor does not list: the
// logs it has replayed and the old descriptor, and also every table file the
// descriptor does not name. When the descriptor lost its tail, those tables
// hold rules. So while the guard holds, every removal is only recorded, and
// the owner decides later whether to carry them out. DB::Open removes on the
// caller's thread; removals by LevelDB's background thread (a compaction that
// replaced its input tables) are recorded too but are never taken for a sign
// of damage. A held removal is dropped when LevelDB creates a file of that
// name anew: after an open it hands out again the numbers above those its
// descriptor recorded, which an abandoned compaction output may carry. Wraps
// the default Env, which outlives every object. Thread-safe.
class OpenGuardEnv : public leveldb::EnvWrapper {
 public:
  OpenGuardEnv();

  // Starts holding removals, forgetting any held before; the calling thread
  // is the opener.
  void Hold();

  // The name (without directories) of a table file whose removal the opener
  // asked for since Hold, or "" when it asked for none.
  std::string TableHeldFromOpener() const;

  // The path of the descriptor the opener read since Hold, or "". Its
  // removal, once the open replaced it, is held like any other.
  std::string DescriptorReadByOpener() const;

  // Lets later removals through; those held so far stay held.
  void StopHolding();

  // Carries out the held removals: after a healthy open they are the
  // replayed logs and the superseded descriptor.
  void RemoveHeld();

  // Forgets the held removals, keeping the files.
  void ForgetHeld();

  leveldb::Status RemoveFile(const std::string& path) override;
  leveldb::Status NewSequentialFile(const std::string& path,
                                    leveldb::SequentialFile** file) override;
  leveldb::Status NewWritableFile(const std::string& path, leveldb::WritableFile** file) override;

 private:
  mutable std::mutex mutex;
  bool holding = false;
  std::thread::id opener;
  std::vector<std::string> heldRemovals;
  std::string tableHeldFromOpener;
  std::string descriptorRead;
};

}  // namespace qz::evmon

#endif  // QZ_EVMON_OPEN_GUARD_ENV_H_
