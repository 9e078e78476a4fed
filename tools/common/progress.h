// Progress of a long step on stderr. On a terminal one line is rewritten in
// place; anywhere else (a log, a pipe) each report is a line of its own, so a
// log holds no carriage returns and reads line by line.
#pragma once

#include <string>

// Shows "<tool>: <text>"; `last` ends the step (on a terminal, the line).
void progressShow(const char* tool, const std::string& text, bool last);
