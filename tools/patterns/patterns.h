// The pictures the projector shows for a scan: the eight stripe pictures
// (vertical and horizontal stripes, pattern 1 and 2, each positive and
// negative), then a full white and a full black picture, at the projector's
// resolution. slscan-patterns writes them as PNG files for a user's own
// projector; slscan-render draws the very same stripes.
#pragma once

#include <string>
#include <vector>

// One picture: its file name and its pixels, rows from the top, RGB bytes.
struct PatternPicture {
    std::string name;
    std::vector<unsigned char> rgb;
};

// The ten pictures in the order they are shown, at width x height pixels.
// A stripe picture is named after the photographs it gives ("1 Positivo 1
// Vertical.png" gives "Cavalo Positivo 1 Camera N Rotacao AAA Vertical.bmp");
// the number in front is the order of showing.
std::vector<PatternPicture> patternPictures(int width, int height);

// Writes the pictures into `dir` (made when missing) as PNG. False with one
// line naming the file when one cannot be written.
bool patternWriteAll(const std::string& dir, int width, int height, std::string* error);
