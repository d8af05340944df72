#include "OpenGuardEnv.h"

#include <memory>
#include <string>

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>
#include <leveldb/db.h>

#include "TestSupport.h"

namespace qz::evmon {
namespace {

TEST(OpenGuardEnvTest, RecordsTheDescriptorTheOpenerRead) {
  test::TestDirectory dir;
  leveldb::Options options;
  options.create_if_missing = true;
  leveldb::DB* handle = nullptr;
  ASSERT_TRUE(leveldb::DB::Open(options, dir.root, &handle).ok());
  delete handle;
  std::string current = test::ReadFile(dir.Path("CURRENT"));
  current.pop_back();

  OpenGuardEnv env;
  options.env = &env;
  env.Hold();
  ASSERT_TRUE(leveldb::DB::Open(options, dir.root, &handle).ok());
  delete handle;
  EXPECT_EQ(env.DescriptorReadByOpener(), dir.Path(current));
  EXPECT_TRUE(boost::filesystem::exists(dir.Path(current))) << "its removal is held";
}

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
