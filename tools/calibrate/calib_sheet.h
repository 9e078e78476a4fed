// One picture of every calibration photograph, small, with the corners found
// drawn on it and the photographs not used framed in red: where a board was
// missed or a pose is missing shows at a glance (slscan-calibrate --sheet).
#pragma once

#include <opencv2/core.hpp>
#include <string>
#include <vector>

struct CalibSheetPhoto {
    std::string path, name;
    bool used = false;
    std::vector<cv::Point2f> corners;  // empty when the board was not found
};

// Writes the sheet (PNG, or any format OpenCV writes by the name's
// extension), six photographs a row, camera 1 and camera 2 side by side.
bool calibWriteSheet(const std::string& path, const std::vector<CalibSheetPhoto>& photos,
                     cv::Size board, std::string* error);
