// The board's inner corners in one photograph.
//
// The finder made for it (robust under uneven light) goes first, its corners
// refined on the picture's gradients in a small window (a quarter of a
// square): as exact as the finder's own up-sampling, at a quarter of its time. The classic finder is the fallback, but it can search for
// minutes when the board's size does not match the printed board, so it runs
// with its fast check on a picture scaled down to at most 1000 pixels, its
// corners refined at full size, and a caller stops offering it once it keeps
// failing (CalibFallback).
#pragma once

#include <opencv2/core.hpp>
#include <string>
#include <vector>

struct CalibCorners {
    bool found = false;
    std::vector<cv::Point2f> points;  // row by row of the board, columns fastest
    double sharpness = 0;             // variance of the Laplacian of the picture
    bool classic = false;             // found by the fallback
};

// The fallback's budget over a whole folder: it is no longer tried after
// three failures in a row with no success yet, or after 30 seconds in all.
struct CalibFallback {
    int failuresInARow = 0;
    int successes = 0;
    double seconds = 0;
    bool spent() const { return (successes == 0 && failuresInARow >= 3) || seconds > 30.0; }
};

// Finds the columns x rows inner corners in the grey picture.
CalibCorners calibFindCorners(const cv::Mat& grey, cv::Size board, CalibFallback* fallback);
