// veltrix-make-demo-db: writes a handful of demo rules into a rule database,
// through the same storage veltrix reads with, so that there is something to
// dump. The database is created when missing; existing rules of the same
// names are overwritten, others are kept.

#include <exception>
#include <iostream>
#include <memory>

#include "LevelDbStorage.h"
#include "RuleParams.h"

namespace {

struct DemoRule {
  const char* name;
  bool enabled;
};

constexpr DemoRule kDemoRules[] = {
    {"access.audit", true},   {"alerts.email", true},     {"alerts.sms", false},
    {"backup.nightly", true}, {"backup.weekly", false},   {"disk.quota", true},
    {"login.lockout", true},  {"reports.monthly", false},
};

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2 || argv[1][0] == '\0') {
    std::cerr << "Usage: veltrix-make-demo-db DIR\n"
                 "Creates (or adds to) the rule database at DIR with a few demo rules.\n";
    return 1;
  }
  try {
    const auto storage = std::make_shared<qz::evmon::LevelDbStorage>(argv[1]);
    for (const DemoRule& rule : kDemoRules) {
      qz::evmon::PutRuleParams(storage, rule.name, qz::evmon::RuleParams{rule.enabled});
    }
    // The rules are only pending until now; a failure to store them must
    // not end in status 0.
    storage->Flush();
  } catch (const std::exception& error) {
    std::cerr << "Error: " << error.what() << std::endl;
    return 1;
  }
  return 0;
}
