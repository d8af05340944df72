#include "OpenGuardEnv.h"

#include <string>

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>
#include <leveldb/env.h>

#include "TestSupport.h"

namespace qz::evmon {
namespace {

TEST(OpenGuardEnvTest, HeldRemovalOfAFileWrittenAnewIsDropped) {
  // After an open LevelDB may hand out the number of a table it asked to
  // remove, and write a live table under the same name.
  test::TestDirectory dir;
  const std::string reused = dir.Path("000009.ldb");
  const std::string replaced = dir.Path("000004.log");
  test::WriteFile(reused, "abandoned");
  test::WriteFile(replaced, "replayed");

  OpenGuardEnv env;
  env.Hold();
  ASSERT_TRUE(env.RemoveFile(reused).ok());
  ASSERT_TRUE(env.RemoveFile(replaced).ok());
  env.StopHolding();
  leveldb::WritableFile* file = nullptr;
  ASSERT_TRUE(env.NewWritableFile(reused, &file).ok());
  ASSERT_TRUE(file->Append("live").ok());
  ASSERT_TRUE(file->Close().ok());
  delete file;
  env.RemoveHeld();

  EXPECT_EQ(test::ReadFile(reused), "live");
  EXPECT_FALSE(boost::filesystem::exists(replaced));
  EXPECT_EQ(env.TableHeldFromOpener(), "000009.ldb") << "the open asked to remove it all the same";
}

}  // namespace
}  // namespace qz::evmon
