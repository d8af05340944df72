// A private scratch directory that does not outlive the run, not even one
// ended by SIGINT, SIGTERM or SIGHUP.

#ifndef QZ_EVMON_PRIVATE_DIRECTORY_H_
#define QZ_EVMON_PRIVATE_DIRECTORY_H_

#include <string>

namespace qz::evmon {

// Creates a new directory "veltrix-XXXXXX", readable by this user only, in
// $TMPDIR, or in /tmp when TMPDIR is unset or empty. It must stay flat (no
// subdirectories). The destructor removes it with every file in it. Until
// then SIGINT, SIGTERM and SIGHUP, unless ignored, remove it too before
// ending the process as they would have; the previous handlers come back
// with the destructor. Only one object may exist at a time, and it must be
// destroyed on the thread that made it. Throws std::runtime_error when the
// directory cannot be created.
class PrivateDirectory {
 public:
  PrivateDirectory();
  ~PrivateDirectory();

  PrivateDirectory(const PrivateDirectory&) = delete;
  PrivateDirectory& operator=(const PrivateDirectory&) = delete;

  const std::string& Path() const { return path; }

  // Removes every file in the directory, keeping the directory.
  void Clear() const;

 private:
  std::string path;
};

}  // namespace qz::evmon

#endif  // QZ_EVMON_PRIVATE_DIRECTORY_H_
