// The values of slscan-render's command line that are more than one number
// (a picture size, lists of numbers, turntable angles) and the seed, which
// spans the whole unsigned 32-bit range. Each parser returns "" or what is
// wrong with the text, in the form the command line reports for any option:
// "must be ..., got \"text\"".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// "WxH", each from 1 to 20000.
std::string renderParseSize(const std::string& text, int* width, int* height);

// Exactly `count` finite numbers from lo to hi, separated by commas.
std::string renderParseNumbers(const std::string& text, size_t count, double lo, double hi,
                               std::vector<double>* values);

// A whole number from 0 to 4294967295.
std::string renderParseSeed(const std::string& text, uint32_t* seed);

// Whole degrees from 0 to 359, separated by commas, each once; sorted.
std::string renderParseAngles(const std::string& text, std::vector<int>* angles);
