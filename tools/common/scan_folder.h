// Whether the files of a scan folder belong together, checked before a tool
// believes them.
//
// Each file is made from others: slscan makes pontos.txt and pontos_<angle>.txt
// from the photographs in cavalo/ (and, for a rendered scan, scene.txt tells
// what they show); slscan-cloud makes cloud.ply from those. A file older than
// one it is made from was left by an earlier run: a new render, a new mask or
// a new scan has replaced its sources since. The tools then refuse it, naming
// both files and what to run, unless told the dates are meaningless
// (--ignore-dates, after a copy that did not keep them).
#pragma once

#include <string>
#include <vector>

// The option every tool that checks dates takes, and its help.
extern const char* const kFolderIgnoreDatesOption;
extern const char* const kFolderIgnoreDatesHelp;

// False, with one line in *error, when `dir` is not an existing folder.
bool folderExists(const std::string& dir, std::string* error);

// False, with one line naming both files and saying what to run, when a point
// file of `dir` is older than a photograph of dir/cavalo or dir/scene.txt.
// Files that do not exist are not compared.
bool folderPointsCurrent(const std::string& dir, std::string* error);

// The same for dir/cloud.ply against dir/pontos.txt.
bool folderCloudCurrent(const std::string& dir, std::string* error);

// False, with one line in *error naming the format and the command that
// converts them, when dir/cavalo holds photographs but no BMP among them
// (JPEG or PNG, as cameras write them): the scanner reads 24-bit BMP only.
// True otherwise, also when dir/cavalo is missing or empty.
bool folderPhotographsAreBmp(const std::string& dir, std::string* error);

// The angles (rising, 0 to 359) of which dir/cavalo holds at least one of the
// sixteen photographs.
std::vector<int> folderPhotographAngles(const std::string& dir);
