// The rig file: a rig (geometry/rig.h) as JSON text, read, checked and written.
//
// slscan --rig and every tool that needs geometry read it; slscan --print-rig
// and the calibration write it. The reader checks every number before anything
// uses it, so a scan never starts on a rig that cannot be right: each fault is
// one line naming the file, the key and what is wrong,
//     rig.json: "cameras[1].rotation": not orthonormal within 1e-06 (worst entry of R R^T - I is 0.0031)
// The keys and their meaning are documented in the README ("The rig file").
#pragma once

#include <string>

#include "geometry/rig.h"

// The "format" value this reader takes and the writer writes.
constexpr const char* kRigFileFormat = "slscan-rig 1";

// Parses and checks rig file text; `fileName` only names the file in the
// error. On failure *rig is left unchanged and *error holds one line
// `<file>: "<key>": <what is wrong>` (or `<file>: <what is wrong>` when no key
// is at fault, e.g. text that is not JSON).
bool rigFileParse(const std::string& text, const std::string& fileName, Rig* rig,
                  std::string* error);

// Reads and parses the file at `path` (at most 1 MB).
bool rigFileRead(const std::string& path, Rig* rig, std::string* error);

// The rig as rig file text: every number with the fewest digits that read back
// as the same double, so that reading the text gives the very same rig.
std::string rigFileFormat(const Rig& rig);

// Writes rigFileFormat(rig) to `path`: whole to a temporary file beside it,
// then renamed, so a failed write never leaves half a file.
bool rigFileWrite(const std::string& path, const Rig& rig, std::string* error);

// The rig a tool uses on scan folder `dir`: the file `rigOption` when it is not
// empty, else dir/rig.json when it exists, else the built-in rig. *source
// names it ("the built-in rig" or the file's path) for the tool's output.
bool rigForFolder(const std::string& dir, const std::string& rigOption, Rig* rig,
                  std::string* source, std::string* error);

// The line slscan prints when a rig has no turntable section (a calibration
// of the cameras only), naming the file and how to add one.
std::string rigMissingTurntableMessage(const std::string& fileName);
