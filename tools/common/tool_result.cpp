#include "common/tool_result.h"

#include <cstdio>

ToolResult toolFault(const std::string& reason) {
    ToolResult result;
    result.status = kToolDataFault;
    result.reason = reason;
    return result;
}

ToolResult toolUsageFault(const std::string& reason) {
    ToolResult result;
    result.status = kToolUsage;
    result.reason = reason;
    return result;
}

int toolExit(const char* tool, const ToolResult& result) {
    for (const std::string& line : result.warnings) std::fprintf(stderr, "%s: %s\n", tool, line.c_str());
    if (!result.reason.empty()) std::fprintf(stderr, "%s: %s\n", tool, result.reason.c_str());
    return result.status;
}
