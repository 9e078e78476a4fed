#include "calibrate/calib_corners.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

namespace {

double sharpness(const cv::Mat& grey) {
    cv::Mat laplacian;
    cv::Laplacian(grey, laplacian, CV_64F);
    cv::Scalar mean, deviation;
    cv::meanStdDev(laplacian, mean, deviation);
    return deviation[0] * deviation[0];
}

// The corners refined on the picture's gradients, in a window of `share`
// times the smallest spacing of neighbouring corners (2 to 10 pixels).
void refine(const cv::Mat& grey, cv::Size board, double share, std::vector<cv::Point2f>* corners) {
    const std::vector<cv::Point2f>& c = *corners;
    double spacing = 1e9;
    for (int j = 0; j < board.height; ++j)
        for (int i = 0; i + 1 < board.width; ++i)
            spacing = std::min(spacing, cv::norm(c[j * board.width + i + 1] - c[j * board.width + i]));
    for (int j = 0; j + 1 < board.height; ++j)
        for (int i = 0; i < board.width; ++i)
            spacing = std::min(spacing, cv::norm(c[(j + 1) * board.width + i] - c[j * board.width + i]));
    const int half = std::max(2, std::min(10, static_cast<int>(std::lround(share * spacing))));
    cv::cornerSubPix(grey, *corners, cv::Size(half, half), cv::Size(-1, -1),
                     cv::TermCriteria(cv::TermCriteria::EPS + cv::TermCriteria::COUNT, 100, 1e-4));
}

// The classic finder on a scaled-down copy, refined at full size.
bool classicFind(const cv::Mat& grey, cv::Size board, std::vector<cv::Point2f>* points) {
    const double scale = std::min(1.0, 1000.0 / std::max(grey.cols, grey.rows));
    cv::Mat small = grey;
    if (scale < 1.0) cv::resize(grey, small, cv::Size(), scale, scale, cv::INTER_AREA);
    std::vector<cv::Point2f> found;
    if (!cv::findChessboardCorners(small, board, found,
                                   cv::CALIB_CB_ADAPTIVE_THRESH | cv::CALIB_CB_NORMALIZE_IMAGE |
                                       cv::CALIB_CB_FAST_CHECK))
        return false;
    for (cv::Point2f& p : found)
        p = cv::Point2f(static_cast<float>((p.x + 0.5) / scale - 0.5),
                        static_cast<float>((p.y + 0.5) / scale - 0.5));
    refine(grey, board, 0.4, &found);
    *points = found;
    return true;
}

}  // namespace

CalibCorners calibFindCorners(const cv::Mat& grey, cv::Size board, CalibFallback* fallback) {
    CalibCorners c;
    c.sharpness = sharpness(grey);
    std::vector<cv::Point2f> points;
    // Above two megapixels the finder runs on a smaller copy (its time grows
    // with the picture; the corners are refined at full size anyway).
    const double pixels = static_cast<double>(grey.cols) * grey.rows;
    const double scale = std::min(1.0, std::sqrt(2.0e6 / pixels));
    cv::Mat searched = grey;
    if (scale < 1.0) cv::resize(grey, searched, cv::Size(), scale, scale, cv::INTER_AREA);
    if (cv::findChessboardCornersSB(searched, board, points,
                                    cv::CALIB_CB_NORMALIZE_IMAGE | cv::CALIB_CB_EXHAUSTIVE) &&
        static_cast<int>(points.size()) == board.area()) {
        // Pixel centres map as (x + 0.5) / scale - 0.5.
        if (scale < 1.0)
            for (cv::Point2f& p : points)
                p = cv::Point2f(static_cast<float>((p.x + 0.5) / scale - 0.5),
                                static_cast<float>((p.y + 0.5) / scale - 0.5));
        c.found = true;
        refine(grey, board, 0.25, &points);
        c.points = points;
        return c;
    }
    if (fallback->spent()) return c;
    const auto start = std::chrono::steady_clock::now();
    const bool found = classicFind(grey, board, &points) &&
                       static_cast<int>(points.size()) == board.area();
    fallback->seconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (found) {
        ++fallback->successes;
        fallback->failuresInARow = 0;
        c.found = true;
        c.classic = true;
        c.points = points;
    } else {
        ++fallback->failuresInARow;
    }
    return c;
}
