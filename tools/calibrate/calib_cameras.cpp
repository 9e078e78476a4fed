#include "calibrate/calib_cameras.h"

#include <algorithm>
#include <cmath>
#include <opencv2/calib3d.hpp>

std::vector<cv::Point3f> calibBoardPoints(int columns, int rows, double square) {
    std::vector<cv::Point3f> points;
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < columns; ++i)
            points.emplace_back(static_cast<float>(i * square), static_cast<float>(j * square), 0.f);
    return points;
}

bool calibFitCamera(const std::vector<cv::Point3f>& board,
                    const std::vector<std::vector<cv::Point2f>>& views, cv::Size size,
                    bool fitK3, double maxViewError, CalibCameraFit* fit) {
    const size_t n = views.size();
    fit->kept.assign(n, true);
    fit->viewError.assign(n, -1);
    fit->rvecs.assign(n, cv::Mat());
    fit->tvecs.assign(n, cv::Mat());
    fit->tooManyAbove = false;
    const int flags = fitK3 ? 0 : cv::CALIB_FIX_K3;
    const cv::TermCriteria criteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, 100, 1e-12);
    for (;;) {
        std::vector<size_t> active;
        for (size_t k = 0; k < n; ++k)
            if (fit->kept[k]) active.push_back(k);
        if (active.size() < 3) return false;
        std::vector<std::vector<cv::Point3f>> object(active.size(), board);
        std::vector<std::vector<cv::Point2f>> image;
        for (size_t k : active) image.push_back(views[k]);
        cv::Mat matrix, distortion, deviationsIntrinsic, deviationsExtrinsic, errors;
        std::vector<cv::Mat> rvecs, tvecs;
        try {
            fit->rms = cv::calibrateCamera(object, image, size, matrix, distortion, rvecs, tvecs,
                                           deviationsIntrinsic, deviationsExtrinsic, errors,
                                           flags, criteria);
        } catch (const cv::Exception&) {
            return false;
        }
        if (!std::isfinite(fit->rms)) return false;
        size_t worst = active[0];
        double worstError = -1;
        for (size_t a = 0; a < active.size(); ++a) {
            const size_t k = active[a];
            fit->viewError[k] = errors.at<double>(static_cast<int>(a));
            fit->rvecs[k] = rvecs[a];
            fit->tvecs[k] = tvecs[a];
            if (fit->viewError[k] > worstError) {
                worstError = fit->viewError[k];
                worst = k;
            }
        }
        fit->cameraMatrix = matrix;
        distortion.convertTo(fit->distortion, CV_64F);
        fit->distortion = fit->distortion.reshape(1, 1);
        if (fit->distortion.cols < 5) cv::hconcat(fit->distortion,
                                                  cv::Mat::zeros(1, 5 - fit->distortion.cols, CV_64F),
                                                  fit->distortion);
        if (worstError <= maxViewError) return true;
        if (3 * (n - active.size() + 1) > n) {
            fit->tooManyAbove = true;
            return false;
        }
        fit->kept[worst] = false;
        fit->rvecs[worst] = cv::Mat();
        fit->tvecs[worst] = cv::Mat();
    }
}

namespace {

struct Pose {
    cv::Matx33d r;
    cv::Vec3d t;
};

Pose pose(const cv::Mat& rvec, const cv::Mat& tvec) {
    Pose p;
    cv::Mat r;
    cv::Rodrigues(rvec, r);
    p.r = cv::Matx33d(r);
    p.t = cv::Vec3d(tvec.at<double>(0), tvec.at<double>(1), tvec.at<double>(2));
    return p;
}

// Camera 1 -> camera 2 from the board's pose in each.
Pose relative(const Pose& a, const Pose& b) {
    Pose p;
    p.r = b.r * a.r.t();
    p.t = b.t - p.r * a.t;
    return p;
}

double rotationDegrees(const cv::Matx33d& a, const cv::Matx33d& b) {
    const cv::Matx33d d = a * b.t();
    const double c = std::max(-1.0, std::min(1.0, 0.5 * (cv::trace(d) - 1.0)));
    return std::acos(c) * 180.0 / 3.14159265358979323846;
}

bool close(const Pose& a, const Pose& b) {
    const double scale = std::max(cv::norm(a.t), cv::norm(b.t));
    return rotationDegrees(a.r, b.r) < 3.0 && cv::norm(a.t - b.t) < 0.05 * scale;
}

}  // namespace

std::vector<bool> calibReversedPairs(const std::vector<cv::Mat>& rvecs1,
                                     const std::vector<cv::Mat>& tvecs1,
                                     const std::vector<cv::Mat>& rvecs2,
                                     const std::vector<cv::Mat>& tvecs2, int columns, int rows,
                                     double square) {
    const size_t n = rvecs1.size();
    // Reversed numbering is the board turned half a turn about its centre c
    // in its own plane: R' = R diag(-1, -1, 1), t' = t + 2 R c.
    const cv::Matx33d half(-1, 0, 0, 0, -1, 0, 0, 0, 1);
    const cv::Vec3d centre(0.5 * (columns - 1) * square, 0.5 * (rows - 1) * square, 0);
    std::vector<Pose> candidates[2];
    for (size_t k = 0; k < n; ++k) {
        const Pose p1 = pose(rvecs1[k], tvecs1[k]);
        const Pose p2 = pose(rvecs2[k], tvecs2[k]);
        Pose reversed;
        reversed.r = p2.r * half;
        reversed.t = p2.t + 2.0 * (p2.r * centre);
        candidates[0].push_back(relative(p1, p2));
        candidates[1].push_back(relative(p1, reversed));
    }
    // The relative pose most pairs agree on, either way round.
    size_t best = 0, bestVotes = 0;
    int bestWay = 0;
    for (int way = 0; way < 2; ++way)
        for (size_t k = 0; k < n; ++k) {
            size_t votes = 0;
            for (size_t q = 0; q < n; ++q)
                if (close(candidates[way][k], candidates[0][q]) ||
                    close(candidates[way][k], candidates[1][q]))
                    ++votes;
            if (votes > bestVotes) {
                bestVotes = votes;
                best = k;
                bestWay = way;
            }
        }
    std::vector<bool> reversed(n, false);
    if (n == 0) return reversed;
    const Pose& consensus = candidates[bestWay][best];
    for (size_t k = 0; k < n; ++k)
        reversed[k] = !close(candidates[0][k], consensus) && close(candidates[1][k], consensus);
    return reversed;
}

bool calibFitStereo(const std::vector<cv::Point3f>& board,
                    const std::vector<std::vector<cv::Point2f>>& views1,
                    const std::vector<std::vector<cv::Point2f>>& views2,
                    const CalibCameraFit& camera1, const CalibCameraFit& camera2, cv::Size size,
                    CalibStereoFit* fit) {
    std::vector<std::vector<cv::Point3f>> object(views1.size(), board);
    cv::Mat m1 = camera1.cameraMatrix.clone(), d1 = camera1.distortion.clone();
    cv::Mat m2 = camera2.cameraMatrix.clone(), d2 = camera2.distortion.clone();
    cv::Mat e, f, errors;
    try {
        fit->rms = cv::stereoCalibrate(
            object, views1, views2, m1, d1, m2, d2, size, fit->rotation, fit->translation, e, f,
            errors, cv::CALIB_FIX_INTRINSIC,
            cv::TermCriteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, 100, 1e-10));
    } catch (const cv::Exception&) {
        return false;
    }
    fit->pairError.clear();
    for (int k = 0; k < errors.rows; ++k) {
        const double a = errors.at<double>(k, 0), b = errors.at<double>(k, 1);
        fit->pairError.push_back(std::sqrt(0.5 * (a * a + b * b)));
    }
    fit->rotation.convertTo(fit->rotation, CV_64F);
    fit->translation.convertTo(fit->translation, CV_64F);
    return std::isfinite(fit->rms);
}
