// The cloud file, written by slscan-cloud and read by the other tools: binary
// little-endian PLY with, per vertex, float x y z, float nx ny nz and uchar
// red green blue (27 bytes), as point-cloud viewers read it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PlyVertex {
    float x, y, z;
    float nx, ny, nz;
    uint8_t red, green, blue;
};

// The whole file: header and body.
std::string plyEncode(const std::vector<PlyVertex>& vertices, const std::string& comment);

// Writes the file atomically: into "<path>.tmp" beside it, then renamed over
// `path`. False, with one line naming the file and the reason, when any step
// fails; the temporary file is then removed (on SIGINT too) and `path` left
// as it was.
bool plyWrite(const std::string& path, const std::vector<PlyVertex>& vertices,
              const std::string& comment, std::string* error);

// Loads the whole of a binary little-endian PLY file; `headerEnd` is where
// "end_header\n" starts. False, with one line naming the file, when it cannot
// be read or is no such file.
bool plyLoad(const std::string& path, std::string* data, size_t* headerEnd, std::string* error);

// Reads a file that plyEncode wrote (exactly that layout). False, with one
// line, for anything else: other properties, ASCII or big-endian bodies, a
// vertex count the body cannot hold.
bool plyRead(const std::string& path, std::vector<PlyVertex>* vertices, std::string* error);
