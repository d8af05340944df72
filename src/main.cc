// veltrix: prints the enabled flag of every rule in a LevelDB rule database
// as one JSON object. Exit status 0 only when that object was printed.

#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <boost/filesystem.hpp>

#include "LevelDbStorage.h"
#include "Logger.h"
#include "ProgramOptions.h"
#include "RuleDatabase.h"
#include "RuleDump.h"
#include "RuleParams.h"
#include "StandardOutput.h"

using namespace qz::evmon;

namespace {

// VELTRIX_VERSION is the project's version, set by the build.
constexpr const char kVersionLine[] = VELTRIX_VERSION "\n";

// The run's log file, installed in the process-wide slot for as long as it
// exists, so that no log statement can reach a destroyed logger.
class RunLog {
 public:
  RunLog(const std::string& path, Level level) : logger("veltrix", path) {
    SetGlobalLogger(&logger);
    logger.SetLevel(level);
  }
  ~RunLog() { ResetGlobalLogger(); }

 private:
  FileLogger logger;
};

}  // namespace

int main(int argc, char* argv[]) {
  try {
    const ProgramOptions options = ParseOptions(argc, argv);
    if (options.showVersion) {
      WriteStandardOutput(kVersionLine, sizeof kVersionLine - 1);
      return 1;
    }
    if (options.showUsage) {
      return 1;
    }

    // Declared before the storage so that the storage is released first: the
    // log outlives everything that may write to it.
    std::optional<RunLog> log;
    if (!options.logPath.empty()) {
      log.emplace(options.logPath, ToLoggerLevel(options.logLevel));
    }
    if (!boost::filesystem::exists(options.dbPath)) {
      std::cerr << "Path " << options.dbPath << " is not exists!" << std::endl;
      return 1;
    }

    LevelDbStorageOptions storageOptions;
    // Without -l the log is not written, and an empty document alone would
    // look like an empty database.
    storageOptions.onMovedAside = [&options](const std::string& reason,
                                             const std::string& asidePath) {
      std::cerr << "Warning: database " << options.dbPath << " is damaged (" << reason
                << "); moved to " << asidePath << " and recreated empty" << std::endl;
    };
    std::shared_ptr<KeyValueStorage> storage = OpenRuleDatabase(options.dbPath, storageOptions);
    OutputDocument document;
    DumpRules(*storage, document);
    const std::string_view text = document.Finish();
    WriteStandardOutput(text.data(), text.size());
    return 0;
  } catch (const std::exception& error) {
    std::cerr << "Error: " << error.what() << std::endl;
    return 1;
  }
}
