// How a tool's run ended: the one way the tools report a fault.
//
// Each tool's work is a function that returns its report with a ToolResult
// in it; nothing below the tool's main prints a fault. The main prints the
// reason once, at the edge, as "<tool>: <reason>" on stderr, and exits with
// the status. Warnings (the run went on) travel the same way, as lines of the
// report that the main prints before its result.
#pragma once

#include <string>
#include <vector>

// Exit statuses shared by every tool.
constexpr int kToolDone = 0;
constexpr int kToolDataFault = 1;  // a file or value of the scan is at fault
constexpr int kToolUsage = 2;      // the command line or the folders cannot be used

struct ToolResult {
    int status = kToolDone;
    std::string reason;  // one line naming the file or value at fault; empty when done
    std::vector<std::string> warnings;  // lines for stderr; the run went on
};

// A fault in the data (status 1) or a usage fault (status 2), with its reason.
ToolResult toolFault(const std::string& reason);
ToolResult toolUsageFault(const std::string& reason);

inline bool toolOk(const ToolResult& result) { return result.status == kToolDone; }

// Prints the warnings and then the reason (when there is one), each as
// "<tool>: <line>" on stderr, and returns the exit status.
int toolExit(const char* tool, const ToolResult& result);
