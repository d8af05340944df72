#include "OptionScanner.h"

#include <cstring>

namespace qz::evmon {

int optind = 0;
char* optarg = nullptr;

namespace {
// The next letter of the option cluster being scanned, or null.
char* cluster = nullptr;
}  // namespace

int getopt(int argc, char* const argv[], const char* optstring) {
  optarg = nullptr;
  if (optind == 0) {
    cluster = nullptr;
  }
  if (cluster == nullptr || *cluster == '\0') {
    if (optind == 0) {
      optind = 1;
    }
    if (optind >= argc || argv[optind][0] != '-' || std::strcmp(argv[optind], "-") == 0) {
      if (optind < argc) {
        optarg = argv[optind];
      }
      return -1;
    }
    if (std::strcmp(argv[optind], "--") == 0) {
      ++optind;
      if (optind < argc) {
        optarg = argv[optind];
      }
      return -1;
    }
    cluster = argv[optind] + 1;
    ++optind;
  }

  const char letter = *cluster++;
  const char* spec = std::strchr(optstring, letter);
  if (spec == nullptr || letter == ':') {
    return '?';
  }
  if (spec[1] != ':') {
    return letter;
  }
  if (*cluster != '\0') {
    optarg = cluster;
    cluster += std::strlen(cluster);
  } else if (optind < argc) {
    optarg = argv[optind++];
  } else {
    return '?';
  }
  return letter;
}

}  // namespace qz::evmon
