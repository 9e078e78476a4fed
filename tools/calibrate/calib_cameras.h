// Each camera's lens and the stereo pair, from the corners of the board's
// views: OpenCV's calibration with the views whose error stays above a pixel
// dropped, and the pair with both cameras' lenses held fixed.
#pragma once

#include <opencv2/core.hpp>
#include <vector>

// The board's inner corners in its own plane: row by row, columns fastest,
// `square` apart, corner (0, 0) at the origin.
std::vector<cv::Point3f> calibBoardPoints(int columns, int rows, double square);

struct CalibCameraFit {
    cv::Mat cameraMatrix, distortion;   // 3x3, 1x5 (k1 k2 p1 p2 k3), doubles
    double rms = -1;
    std::vector<bool> kept;             // per view given
    std::vector<double> viewError;      // per view: RMS pixels in the last fit that had it
    std::vector<cv::Mat> rvecs, tvecs;  // per view (empty Mats for dropped views)
    bool tooManyAbove = false;          // failed: over a third of the views were above the limit
};

// Calibrates one camera from views of the board; views whose error is above
// maxViewError are dropped one at a time, worst first, and the camera fitted
// again. False when fewer than 3 views remain, OpenCV fails, or more than a
// third of the views would be dropped (then the camera, not a view, is at
// fault: a board that is not flat, a lens the model does not fit).
bool calibFitCamera(const std::vector<cv::Point3f>& board,
                    const std::vector<std::vector<cv::Point2f>>& views, cv::Size size,
                    bool fitK3, double maxViewError, CalibCameraFit* fit);

// For each pair of views (camera 1's pose, camera 2's pose of the same
// instant), whether camera 2's corners are numbered from the opposite end of
// the board: a board that looks the same turned half a turn can be read
// either way. The pair's relative pose is compared with the relative pose
// most pairs agree on, with camera 2's corners as given and reversed.
std::vector<bool> calibReversedPairs(const std::vector<cv::Mat>& rvecs1,
                                     const std::vector<cv::Mat>& tvecs1,
                                     const std::vector<cv::Mat>& rvecs2,
                                     const std::vector<cv::Mat>& tvecs2, int columns, int rows,
                                     double square);

struct CalibStereoFit {
    cv::Mat rotation, translation;  // camera 1 -> camera 2: x2 = R x1 + T
    double rms = -1;
    std::vector<double> pairError;  // per pair, RMS pixels over both cameras
};

bool calibFitStereo(const std::vector<cv::Point3f>& board,
                    const std::vector<std::vector<cv::Point2f>>& views1,
                    const std::vector<std::vector<cv::Point2f>>& views2,
                    const CalibCameraFit& camera1, const CalibCameraFit& camera2, cv::Size size,
                    CalibStereoFit* fit);
