// veltrix: prints the enabled flag of every rule in a LevelDB rule database
// as one JSON object. Exit status 0 only when that object was printed.

#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include <boost/filesystem.hpp>

#include "LevelDbStorage.h"
#include "Logger.h"
#include "ProgramOptions.h"
#include "RuleDump.h"
#include "RuleParams.h"

using namespace qz::evmon;

namespace {

constexpr const char* kVersion = "14.2.810";

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
      std::cout << kVersion << std::endl;
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

    std::shared_ptr<KeyValueStorage> storage = CreateStorage(options.dbPath);
    outputWriter.StartObject();
    ForEachRuleParams(storage, DumpRule);
    outputWriter.EndObject();
    std::cout.write(outputBuffer.GetString(), outputBuffer.GetSize());
    std::cout << std::endl;
    return 0;
  } catch (const std::exception& error) {
    std::cerr << "Error: " << error.what() << std::endl;
    return 1;
  }
}
