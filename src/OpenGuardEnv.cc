#include "OpenGuardEnv.h"

#include <algorithm>

#include <boost/filesystem/path.hpp>

#include "DatabaseFiles.h"

namespace qz::evmon {

OpenGuardEnv::OpenGuardEnv() : EnvWrapper(leveldb::Env::Default()) {}

void OpenGuardEnv::Hold() {
  const std::lock_guard<std::mutex> lock(mutex);
  holding = true;
  opener = std::this_thread::get_id();
  heldRemovals.clear();
  tableHeldFromOpener.clear();
  descriptorRead.clear();
}

std::string OpenGuardEnv::TableHeldFromOpener() const {
  const std::lock_guard<std::mutex> lock(mutex);
  return tableHeldFromOpener;
}

std::string OpenGuardEnv::DescriptorReadByOpener() const {
  const std::lock_guard<std::mutex> lock(mutex);
  return descriptorRead;
}

void OpenGuardEnv::StopHolding() {
  const std::lock_guard<std::mutex> lock(mutex);
  holding = false;
}

void OpenGuardEnv::RemoveHeld() {
  std::vector<std::string> removals;
  {
    const std::lock_guard<std::mutex> lock(mutex);
    removals.swap(heldRemovals);
  }
  for (const std::string& path : removals) {
    target()->RemoveFile(path);
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
      heldRemovals.push_back(path);
      const std::string name = boost::filesystem::path(path).filename().string();
      if (tableHeldFromOpener.empty() && std::this_thread::get_id() == opener &&
          IsTableFileName(name)) {
        tableHeldFromOpener = name;
      }
      return leveldb::Status::OK();
    }
  }
  return target()->RemoveFile(path);
}

leveldb::Status OpenGuardEnv::NewSequentialFile(const std::string& path,
                                                leveldb::SequentialFile** file) {
  if (IsDescriptorFileName(boost::filesystem::path(path).filename().string())) {
    const std::lock_guard<std::mutex> lock(mutex);
    if (holding && std::this_thread::get_id() == opener) {
      descriptorRead = path;
    }
  }
  return target()->NewSequentialFile(path, file);
}

leveldb::Status OpenGuardEnv::NewWritableFile(const std::string& path,
                                              leveldb::WritableFile** file) {
  {
    const std::lock_guard<std::mutex> lock(mutex);
    heldRemovals.erase(std::remove(heldRemovals.begin(), heldRemovals.end(), path),
                       heldRemovals.end());
  }
  return target()->NewWritableFile(path, file);
}

}  // namespace qz::evmon
