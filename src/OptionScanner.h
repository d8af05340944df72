// The command-line option scanner of veltrix, in the manner of POSIX getopt.
// It lives in this namespace, apart from the C library's scanner, so that its
// exact behaviour does not depend on the platform.

#ifndef QZ_EVMON_OPTION_SCANNER_H_
#define QZ_EVMON_OPTION_SCANNER_H_

namespace qz::evmon {

// The index in argv of the next argument to scan. Setting it to 0 restarts
// scanning from argv[1].
extern int optind;

// The argument of the option just returned, or null.
extern char* optarg;

// Returns the next option letter of argv, '?' for a letter not in `optstring`
// (or ':') and for an option whose argument is missing, and -1 when the
// options end. A letter followed by ':' in `optstring` takes an argument: the
// rest of its cluster (-dDIR) or else the next argument, whatever it looks
// like. Options end at the first operand, at "-" (both left in place, optarg
// pointing to them), or after "--" (optarg pointing to the argument after
// it, if any). Prints nothing and does not reorder argv.
int getopt(int argc, char* const argv[], const char* optstring);

}  // namespace qz::evmon

#endif  // QZ_EVMON_OPTION_SCANNER_H_
