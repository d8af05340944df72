#include "DatabaseAccess.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace qz::evmon {
namespace {

// Runs a child process that write-locks `lockFile` as LevelDB does, until
// the object goes.
class LockHolder {
 public:
  explicit LockHolder(const std::string& lockFile) {
    int locked[2], release[2];
    EXPECT_EQ(::pipe(locked), 0);
    EXPECT_EQ(::pipe(release), 0);
    child = ::fork();
    if (child == 0) {
      ::close(release[1]);
      const int fd = ::open(lockFile.c_str(), O_RDWR);
      struct flock lock = {};
      lock.l_type = F_WRLCK;
      lock.l_whence = SEEK_SET;
      const char done = ::fcntl(fd, F_SETLK, &lock) == 0 ? 'y' : 'n';
      char ignored;
      if (::write(locked[1], &done, 1) != 1 || ::read(release[0], &ignored, 1) < 0) {
        ::_exit(1);
      }
      ::_exit(0);
    }
    char done = 0;
    EXPECT_EQ(::read(locked[0], &done, 1), 1);
    EXPECT_EQ(done, 'y');
    releaseEnd = release[1];
    ::close(locked[0]);
    ::close(locked[1]);
    ::close(release[0]);
  }
  ~LockHolder() {
    ::close(releaseEnd);
    int status = 0;
    ::waitpid(child, &status, 0);
  }

 private:
  pid_t child = -1;
  int releaseEnd = -1;
};

TEST(DatabaseAccessTest, TellsALockHeldElsewhereWithoutTakingIt) {
  test::TestDirectory dir;
  test::WriteFile(dir.Path("LOCK"), "");
  EXPECT_EQ(ProbeDatabaseAccess(dir.root), DatabaseAccess::Open);
  {
    const LockHolder holder(dir.Path("LOCK"));
    EXPECT_EQ(ProbeDatabaseAccess(dir.root), DatabaseAccess::HeldByAnotherProcess);
    EXPECT_EQ(ProbeDatabaseAccess(dir.root), DatabaseAccess::HeldByAnotherProcess);
  }
  EXPECT_EQ(ProbeDatabaseAccess(dir.root), DatabaseAccess::Open);
}

TEST(DatabaseAccessTest, LeavesWhatIsNoDirectoryToTheOpen) {
  test::TestDirectory dir;
  test::WriteFile(dir.Path("file"), "a regular file");
  EXPECT_EQ(ProbeDatabaseAccess(dir.Path("file")), DatabaseAccess::Open);
  EXPECT_EQ(ProbeDatabaseAccess(dir.Path("missing")), DatabaseAccess::Open);
}

}  // namespace
}  // namespace qz::evmon
