// Temporary files that an interrupted tool must not leave behind.
//
// A tool writes a file whole into a temporary beside it and renames it into
// place, so a reader never sees half a file. Ctrl-C (SIGINT), SIGTERM or
// SIGHUP in between would leave the temporary behind; every temporary is
// therefore registered while it exists, and the signal handler removes the
// registered ones before the signal ends the process as it would have.
#pragma once

#include <cstddef>
#include <string>

// Registers `path` for removal on SIGINT, SIGTERM or SIGHUP (the handlers are
// installed at the first call; a signal the process ignores stays ignored).
// Returns the slot to pass to tempForget, or -1 when the path cannot be held
// (more than 64 at once, or longer than 4095 bytes): the file is then not
// covered, nothing else changes.
int tempRegister(const std::string& path);

// The file at `slot` is gone or renamed: no longer the handler's to remove.
// -1 is ignored.
void tempForget(int slot);

// Writes `size` bytes to `path` through "<path><suffix>", renamed over `path`
// at the end (an existing link at `path` is replaced, never written through).
// False, with one line naming the file and the reason in *error, when a step
// fails; the temporary is then removed and `path` left as it was.
bool tempWriteReplacing(const std::string& path, const void* data, size_t size,
                        std::string* error, const char* suffix = ".part");
