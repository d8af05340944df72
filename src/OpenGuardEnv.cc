#include "OpenGuardEnv.h"

#include <boost/filesystem/path.hpp>

#include "DatabaseFiles.h"

namespace qz::evmon {

OpenGuardEnv::OpenGuardEnv() : EnvWrapper(leveldb::Env::Default()) {}

void OpenGuardEnv::Hold() {
  const std::lock_guard<std::mutex> lock(mutex);
  holding = true;
  opener = std::this_thread::get_id();
  heldRemovals.clear();
}

std::string OpenGuardEnv::TableHeldFromOpener() const {
  const std::lock_guard<std::mutex> lock(mutex);
  for (const HeldRemoval& removal : heldRemovals) {
    const std::string name = boost::filesystem::path(removal.path).filename().string();
    if (removal.byOpener && IsTableFileName(name)) {
      return name;
    }
  }
  return "";
}

void OpenGuardEnv::StopHolding() {
  const std::lock_guard<std::mutex> lock(mutex);
  holding = false;
}

void OpenGuardEnv::RemoveHeld() {
  std::vector<HeldRemoval> removals;
  {
    const std::lock_guard<std::mutex> lock(mutex);
    removals.swap(heldRemovals);
  }
  for (const HeldRemoval& removal : removals) {
    target()->RemoveFile(removal.path);
  }
}

void OpenGuardEnv::ForgetHeld() {
  const std::lock_guard<std::mutex> lock(mutex);
  heldRemovals.clear();
}

leveldb::Status OpenGuardEnv::RemoveFile(const std::string& path) {
  // Opening also removes files it never made, such as the table it did not
  // write for an empty log; only a file that exists is held.
  if (target()->FileExists(path)) {
    const std::lock_guard<std::mutex> lock(mutex);
    if (holding) {
      heldRemovals.push_back({path, std::this_thread::get_id() == opener});
      return leveldb::Status::OK();
    }
  }
  return target()->RemoveFile(path);
}

}  // namespace qz::evmon
