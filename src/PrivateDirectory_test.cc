#include "PrivateDirectory.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include "TestSupport.h"

namespace qz::evmon {
namespace {

namespace fs = boost::filesystem;

// Points TMPDIR at a fresh directory for the test's lifetime.
class PrivateDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* previous = std::getenv("TMPDIR");
    saved = previous != nullptr ? previous : "";
    hadTmpdir = previous != nullptr;
    ::setenv("TMPDIR", root.root.c_str(), 1);
  }
  void TearDown() override {
    if (hadTmpdir) {
      ::setenv("TMPDIR", saved.c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
  }

  test::TestDirectory root;
  std::string saved;
  bool hadTmpdir = false;
};

TEST_F(PrivateDirectoryTest, LivesInTmpdirForThisUserOnlyAndGoesWithItsFiles) {
  std::string path;
  {
    const PrivateDirectory directory;
    path = directory.Path();
    EXPECT_EQ(fs::path(path).parent_path().string(), root.root);
    EXPECT_EQ(fs::path(path).filename().string().rfind("veltrix-", 0), 0u);
    struct stat status;
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);

    test::WriteFile(path + "/a", "1");
    test::WriteFile(path + "/b", "2");
    directory.Clear();
    EXPECT_TRUE(test::EntriesIn(path).empty());
    test::WriteFile(path + "/c", "3");
  }
  EXPECT_FALSE(fs::exists(path));
}

TEST_F(PrivateDirectoryTest, UnwritableTmpdirIsAnError) {
  ::setenv("TMPDIR", (root.root + "/missing").c_str(), 1);
  EXPECT_THROW(PrivateDirectory(), std::runtime_error);
}

TEST_F(PrivateDirectoryTest, TermSignalRemovesItAndStillEndsTheProcess) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const PrivateDirectory directory;
    test::WriteFile(directory.Path() + "/table", "rules");
    ::raise(SIGTERM);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  EXPECT_TRUE(test::EntriesIn(root.root).empty());
}

}  // namespace
}  // namespace qz::evmon
