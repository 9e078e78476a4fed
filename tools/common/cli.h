// The command line of every tool, built through a few calls that keep CLI11
// out of the tools' own files (it is compiled once, in cli.cpp). One
// convention for all:
//   -h/--help prints the usage on stdout, status 0; --version likewise;
//   --opt value and --opt=value; -- ends the options;
//   a bad value is named with the range it must lie in, in one line on
//   stderr, status 2 (a usage error); 1 is left for faults in the data.
//
// The default shown in the help is the variable's value when the option is
// added, so a default is written once, in the tool's option record:
//
//   CliPtr cli = cliMake("slscan-x", "what the tool does");
//   cliWhole(cli.get(), "--k", &options.neighbours, 2, 256, "K", "neighbours");
//   if (const int status = cliParse(cli.get(), argc, argv); status >= 0) return status;
#pragma once

#include <functional>
#include <memory>
#include <string>

// The version of slscan and its tools ("0.1.0"), from the build.
const char* cliVersion();

struct CliCommand;  // one tool's command line
struct CliCommandDeleter {
    void operator()(CliCommand* command) const;
};
using CliPtr = std::unique_ptr<CliCommand, CliCommandDeleter>;

CliPtr cliMake(const std::string& name, const std::string& description);

// A flag: *value becomes true when it is given.
void cliFlag(CliCommand* command, const std::string& names, bool* value, const std::string& help);

// A whole number from lo to hi. `defaultText` replaces the shown default when
// the variable's value is a stand-in (e.g. "all cores" for 0).
void cliWhole(CliCommand* command, const std::string& names, int* value, long long lo,
              long long hi, const std::string& typeName, const std::string& help,
              const std::string& defaultText = "");

// A finite number from lo to hi (hi may be infinity: "at least lo").
void cliNumber(CliCommand* command, const std::string& names, double* value, double lo, double hi,
               const std::string& typeName, const std::string& help);

// A finite number above lo.
void cliAbove(CliCommand* command, const std::string& names, double* value, double lo,
              const std::string& typeName, const std::string& help);

// Text; `check` (when given) returns "" or what is wrong with the value.
// The default is shown when *value is not empty.
void cliText(CliCommand* command, const std::string& names, std::string* value,
             const std::string& typeName, const std::string& help,
             const std::function<std::string(const std::string&)>& check = {});

// A positional argument.
void cliArgument(CliCommand* command, const std::string& name, std::string* value,
                 const std::string& help, bool required = true);

// The two options may not be given together.
void cliExcludes(CliCommand* command, const std::string& a, const std::string& b);

// Whether the option was on the command line (after cliParse).
bool cliGiven(CliCommand* command, const std::string& name);

// Parses the command line. -1: go on. Otherwise the exit status: 0 after the
// usage or the version went to stdout, 2 after a usage error went to stderr.
int cliParse(CliCommand* command, int argc, char** argv);
