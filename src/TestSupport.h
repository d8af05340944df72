// Helpers shared by the unit tests: scratch directories, whole-file access
// and a logger that records what it is given.

#ifndef QZ_EVMON_TEST_SUPPORT_H_
#define QZ_EVMON_TEST_SUPPORT_H_

#include <iosfwd>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Logger.h"

namespace qz::evmon::test {

// A fresh directory under the system's temporary directory, removed with all
// its content when the object is destroyed.
class TestDirectory {
 public:
  TestDirectory();
  ~TestDirectory();

  TestDirectory(const TestDirectory&) = delete;
  TestDirectory& operator=(const TestDirectory&) = delete;

  // The absolute path of `name` inside the directory.
  std::string Path(const std::string& name) const { return root + "/" + name; }
  const std::string& Root() const { return root; }

 private:
  std::string root;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

// The regular files directly inside `dir`: name -> content.
std::map<std::string, std::string> FilesIn(const std::string& dir);

// The names of the entries directly inside `dir`, sorted.
std::vector<std::string> NamesIn(const std::string& dir);

// A mutable argument vector as main receives it: "veltrix", then `args`.
class CommandLine {
 public:
  explicit CommandLine(std::vector<std::string> args);

  int Argc() const { return static_cast<int>(args.size()); }
  char** Argv() { return pointers.data(); }

 private:
  std::vector<std::string> args;
  std::vector<char*> pointers;  // into args, null-terminated
};

// Collects what is written to std::cerr while it lives.
class CapturedCerr {
 public:
  CapturedCerr();
  ~CapturedCerr();

  CapturedCerr(const CapturedCerr&) = delete;
  CapturedCerr& operator=(const CapturedCerr&) = delete;

  std::string Text() const { return captured.str(); }

 private:
  std::ostringstream captured;
  std::streambuf* original;
};

struct LoggedMessage {
  Level level;
  std::string function;
  std::string text;
};

// Records every message it is given, and installs itself in the global slot
// for as long as it lives.
class RecordingLogger : public Logger {
 public:
  explicit RecordingLogger(Level threshold = Level::Info);
  ~RecordingLogger() override;

  void Write(Level level, const char* file, const char* function, int line,
             const std::string& message) override;

  std::vector<std::string> Texts() const;
  const std::vector<LoggedMessage>& Messages() const { return messages; }

 private:
  std::vector<LoggedMessage> messages;
};

}  // namespace qz::evmon::test

#endif  // QZ_EVMON_TEST_SUPPORT_H_
