// CLI11 itself, for the tools whose mains still build their CLI::App by hand
// (the others use the small builder in cli.h, which keeps CLI11 out of their
// compilation). One convention for both, from CLI11:
//   -h/--help prints the usage on stdout, status 0; --version likewise;
//   --opt value and --opt=value; -- ends the options;
//   a bad value is named with the range it must lie in, in one line on
//   stderr, status 2 (a usage error); 1 is left for faults in the data.
//
// A tool builds its CLI::App as CLI11 documents, hands it to cliSetUp, adds
// its options (with the validators below for numbers) and calls cliParse:
//
//   CLI::App app{"what the tool does", "slscan-x"};
//   cliSetUp(&app);
//   app.add_option("--k", k, "neighbours (default 16)")->check(cliWhole(2, 256));
//   if (const int status = cliParse(&app, argc, argv); status >= 0) return status;
#pragma once

#include <CLI/CLI.hpp>

#include "common/cli.h"  // cliVersion

// --version, the help layout, and the options' own names in their messages.
void cliSetUp(CLI::App* app);

// Parses the command line. -1: go on. Otherwise the exit status: 0 after the
// usage or the version went to stdout, 2 after a usage error went to stderr.
int cliParse(CLI::App* app, int argc, char** argv);

// A whole number from lo to hi; the message names the range and the value.
CLI::Validator cliWhole(long long lo, long long hi);

// A finite number from lo to hi (hi may be infinity: "at least lo").
CLI::Validator cliNumber(double lo, double hi);

// A finite number above lo.
CLI::Validator cliAbove(double lo);
