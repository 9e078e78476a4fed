#include "calibrate/calib_sheet.h"

#include <algorithm>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

bool calibWriteSheet(const std::string& path, const std::vector<CalibSheetPhoto>& photos,
                     cv::Size board, std::string* error) {
    constexpr int kColumns = 6, kTileWidth = 160, kGap = 3;
    if (photos.empty()) {
        *error = path + ": no photograph to show";
        return false;
    }
    std::vector<cv::Mat> tiles;
    int tileHeight = 0;
    for (const CalibSheetPhoto& p : photos) {
        cv::Mat picture = cv::imread(p.path, cv::IMREAD_COLOR);
        if (picture.empty()) picture = cv::Mat(240, 320, CV_8UC3, cv::Scalar(40, 40, 40));
        if (!p.corners.empty())
            cv::drawChessboardCorners(picture, board, p.corners, true);
        const double scale = static_cast<double>(kTileWidth) / picture.cols;
        cv::Mat tile;
        cv::resize(picture, tile, cv::Size(kTileWidth, std::max(1, static_cast<int>(picture.rows * scale))),
                   0, 0, cv::INTER_AREA);
        const cv::Scalar colour = p.used ? cv::Scalar(60, 160, 60) : cv::Scalar(40, 40, 220);
        if (!p.used) cv::rectangle(tile, cv::Rect(0, 0, tile.cols, tile.rows), colour, 6);
        cv::putText(tile, p.name, cv::Point(4, 12), cv::FONT_HERSHEY_SIMPLEX, 0.33,
                    cv::Scalar(255, 255, 255), 3, cv::LINE_AA);
        cv::putText(tile, p.name, cv::Point(4, 12), cv::FONT_HERSHEY_SIMPLEX, 0.33, colour, 1,
                    cv::LINE_AA);
        tileHeight = std::max(tileHeight, tile.rows);
        tiles.push_back(tile);
    }
    const int rows = (static_cast<int>(tiles.size()) + kColumns - 1) / kColumns;
    cv::Mat sheet(kGap + rows * (tileHeight + kGap), kGap + kColumns * (kTileWidth + kGap), CV_8UC3,
                  cv::Scalar(255, 255, 255));
    for (size_t k = 0; k < tiles.size(); ++k) {
        const int x = kGap + static_cast<int>(k % kColumns) * (kTileWidth + kGap);
        const int y = kGap + static_cast<int>(k / kColumns) * (tileHeight + kGap);
        tiles[k].copyTo(sheet(cv::Rect(x, y, tiles[k].cols, tiles[k].rows)));
    }
    try {
        if (cv::imwrite(path, sheet, {cv::IMWRITE_PNG_COMPRESSION, 9})) return true;
    } catch (const cv::Exception&) {
    }
    *error = path + ": cannot be written";
    return false;
}
