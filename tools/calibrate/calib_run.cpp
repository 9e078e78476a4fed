#include "calibrate/calib_run.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <thread>

#include "calibrate/calib_cameras.h"
#include "calibrate/calib_corners.h"
#include "calibrate/calib_photos.h"
#include "calibrate/calib_sheet.h"
#include "calibrate/calib_turntable.h"
#include "geometry/rig_file.h"

namespace {

constexpr double kDegreesPerRadian = 180.0 / 3.14159265358979323846;
constexpr int kMinPairs = 8;           // stereo poses needed
constexpr int kRecommendedPairs = 15;
constexpr double kMaxViewError = 1.0;  // pixels: a view above it is dropped
constexpr double kGoodCameraRms = 0.3, kGoodStereoRms = 0.5;
constexpr double kAngleRefused = 2.0, kAngleWarned = 0.5;  // degrees from the name

std::string format(const char* f, double a) {
    char text[256];
    std::snprintf(text, sizeof text, f, a);
    return text;
}

std::string sizeText(cv::Size s) { return std::to_string(s.width) + "x" + std::to_string(s.height); }

double wrap180(double degrees) {
    double d = std::fmod(degrees, 360.0);
    if (d > 180) d -= 360;
    if (d <= -180) d += 360;
    return d;
}

// One photograph on its way through.
struct Photo {
    std::string path;
    int series = 0;  // 0 stereo, 1 turntable
    int shot = 0;    // index in its series
    int camera = 0;
    std::string name;
    cv::Mat grey;
    CalibCorners corners;
    bool usable = false;  // read, of the common size, board found
    int view = -1;        // index among its camera's views in the fit
    std::string reason;
};

void refuse(CalibReport* report, const std::string& why, std::vector<std::string> advice) {
    report->verdict = CalibVerdict::kRefused;
    report->refusal = why;
    report->advice = std::move(advice);
}

cv::Matx33d matx(const cv::Mat& m) { return cv::Matx33d(m); }

// The corners seen by both cameras, triangulated in camera 1's frame.
std::vector<Vec3> triangulate(const std::vector<cv::Point2f>& a, const std::vector<cv::Point2f>& b,
                              const CalibCameraFit& c1, const CalibCameraFit& c2,
                              const cv::Mat& rotation, const cv::Mat& translation) {
    const cv::TermCriteria criteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, 100, 1e-14);
    std::vector<cv::Point2f> na, nb;
    cv::undistortPoints(a, na, c1.cameraMatrix, c1.distortion, cv::noArray(), cv::noArray(),
                        criteria);
    cv::undistortPoints(b, nb, c2.cameraMatrix, c2.distortion, cv::noArray(), cv::noArray(),
                        criteria);
    cv::Mat p1 = cv::Mat::eye(3, 4, CV_64F), p2(3, 4, CV_64F);
    rotation.copyTo(p2(cv::Rect(0, 0, 3, 3)));
    translation.reshape(1, 3).copyTo(p2(cv::Rect(3, 0, 1, 3)));
    cv::Mat h;
    cv::triangulatePoints(p1, p2, na, nb, h);
    h.convertTo(h, CV_64F);
    std::vector<Vec3> out;
    for (int i = 0; i < h.cols; ++i) {
        const double w = h.at<double>(3, i);
        out.push_back({h.at<double>(0, i) / w, h.at<double>(1, i) / w, h.at<double>(2, i) / w});
    }
    return out;
}

Vec3 rowOf(const cv::Matx33d& m, int r) { return {m(r, 0), m(r, 1), m(r, 2)}; }

}  // namespace

bool calibParseBoard(const std::string& text, int* columns, int* rows) {
    int c = 0, r = 0, used = 0;
    if (std::sscanf(text.c_str(), "%3dx%3d%n", &c, &r, &used) != 2 ||
        used != static_cast<int>(text.size()) || text.find_first_of("+- ") != std::string::npos)
        return false;
    if (c < 3 || r < 3 || c > 100 || r > 100) return false;
    *columns = c;
    *rows = r;
    return true;
}

CalibReport calibRun(const CalibOptions& o) {
    const auto start = std::chrono::steady_clock::now();
    CalibReport report;
    std::vector<Photo> photos;
    const cv::Size board(o.columns, o.rows);
    const auto finish = [&]() {
        if (!o.sheet.empty() && !photos.empty()) {
            std::vector<CalibSheetPhoto> sheet;
            for (const Photo& p : photos)
                sheet.push_back({p.path, p.name, p.usable, p.corners.points});
            std::string error;
            if (!calibWriteSheet(o.sheet, sheet, board, &error)) report.warnings.push_back(error);
        }
        report.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (report.verdict == CalibVerdict::kRefused)
            report.result = toolFault(report.refusal.compare(0, o.dir.size(), o.dir) == 0
                                          ? report.refusal
                                          : o.dir + ": " + report.refusal);
        return report;
    };
    struct stat st;
    if (stat(o.dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        refuse(&report, o.dir + ": no such folder", {});
        finish();
        report.result = toolUsageFault(report.refusal);
        return report;
    }

    // The photographs.
    std::vector<CalibShot> shots[2];
    std::vector<CalibSkipped> skipped;
    for (int series = 0; series < 2; ++series) {
        if (series == 1 && o.camerasOnly) break;
        const char* folder = series == 0 ? "stereo" : "turntable";
        bool exists = false;
        std::string error;
        if (!calibListShots(o.dir, folder, series == 1, &shots[series], &skipped, &exists, &error)) {
            refuse(&report, error, {});
            return finish();
        }
        if (!exists) {
            refuse(&report, o.dir + "/" + folder + ": no such folder",
                   {series == 0 ? "photograph the board in 8 or more poses (15 recommended) with "
                                  "both cameras, as " + o.dir + "/stereo/cam1_01.png and "
                                  "cam2_01.png, ..."
                                : "photograph the board upright on the turntable at three or more "
                                  "angles spanning 60 degrees, as " + o.dir +
                                  "/turntable/cam1_AAA.png and cam2_AAA.png, or give "
                                  "--cameras-only to calibrate the cameras alone"});
            return finish();
        }
    }
    for (const CalibSkipped& s : skipped) {
        const size_t slash = s.name.rfind('/');
        const int camera = s.name.compare(slash + 1, 4, "cam2") == 0 ? 1 : 0;
        report.cameras[camera].photos.push_back({s.name, false, s.reason, -1});
    }

    std::map<std::string, int> sizes;
    for (int series = 0; series < 2; ++series)
        for (size_t k = 0; k < shots[series].size(); ++k)
            for (int camera = 0; camera < 2; ++camera) {
                Photo p;
                p.series = series;
                p.shot = static_cast<int>(k);
                p.camera = camera;
                p.name = shots[series][k].name[camera];
                p.path = shots[series][k].path[camera];
                p.grey = cv::imread(shots[series][k].path[camera], cv::IMREAD_GRAYSCALE);
                if (p.grey.empty())
                    p.reason = "cannot be read as a picture";
                else
                    ++sizes[sizeText(p.grey.size())];
                photos.push_back(std::move(p));
            }
    if (sizes.empty()) {
        refuse(&report, o.dir + ": no photograph of the board could be read",
               {"name the photographs stereo/cam1_01.png, stereo/cam2_01.png, ... (BMP, PNG, JPEG "
                "or TIFF)"});
        for (const Photo& p : photos)
            report.cameras[p.camera].photos.push_back({p.name, false, p.reason, -1});
        return finish();
    }
    // The common size: the one most photographs have.
    std::string common;
    int commonCount = 0, others = 0;
    for (const auto& s : sizes)
        if (s.second > commonCount) {
            commonCount = s.second;
            common = s.first;
        }
    for (const auto& s : sizes)
        if (s.first != common) others += s.second;
    cv::Size size;
    for (Photo& p : photos)
        if (!p.grey.empty()) {
            if (sizeText(p.grey.size()) != common) {
                p.reason = "its size " + sizeText(p.grey.size()) + " is unlike the others' (" +
                           common + ")";
                p.grey.release();
            } else {
                size = p.grey.size();
            }
        }
    report.width = size.width;
    report.height = size.height;
    if (others > 2 || others * 10 > commonCount) {
        std::string list;
        for (const auto& s : sizes)
            list += (list.empty() ? "" : ", ") + std::to_string(s.second) + " of " + s.first;
        for (const Photo& p : photos)
            report.cameras[p.camera].photos.push_back({p.name, false, p.reason, -1});
        refuse(&report, "the photographs are of different sizes: " + list,
               {"take every photograph of both cameras at one size (the size the scans are taken "
                "at), with the same zoom and orientation"});
        return finish();
    }

    // The corners, each camera's photographs in a thread of their own. Once
    // the board is missing from more than half the photographs the folder is
    // refused whatever the rest show, so the search stops there: a wrong
    // --board answers in half the time of a whole folder.
    int tried = 0, found = 0;
    for (const Photo& p : photos) tried += !p.grey.empty();
    std::atomic<int> missing{0}, foundCount{0};
    std::atomic<bool> stop{false};
    std::vector<double> sharpness[2];
    const auto search = [&](int camera) {
        CalibFallback fallback;
        for (Photo& p : photos) {
            if (p.camera != camera || p.grey.empty()) continue;
            if (!stop) {
                p.corners = calibFindCorners(p.grey, board, &fallback);
                sharpness[camera].push_back(p.corners.sharpness);
                if (p.corners.found) {
                    p.usable = true;
                    ++foundCount;
                } else if (2 * ++missing > tried) {
                    stop = true;
                }
            } else {
                p.reason = "not searched (the board is missing from most photographs)";
            }
            p.grey.release();
        }
    };
    std::thread second(search, 1);
    search(0);
    second.join();
    found = foundCount;
    for (int camera = 0; camera < 2; ++camera) {
        std::vector<double>& s = sharpness[camera];
        const double median = s.empty() ? 0 : (std::nth_element(s.begin(), s.begin() + s.size() / 2,
                                                                s.end()),
                                               s[s.size() / 2]);
        for (Photo& p : photos)
            if (p.camera == camera && p.reason.empty() && !p.usable)
                p.reason = p.corners.sharpness < 0.35 * median
                               ? format("blurred (sharpness %.3g", p.corners.sharpness) +
                                     format(", the others' median %.3g): board not found", median)
                               : "board not found";
    }
    if (stop || found * 2 < tried) {
        for (const Photo& p : photos)
            report.cameras[p.camera].photos.push_back({p.name, false, p.reason, -1});
        refuse(&report,
               "the board (" + std::to_string(o.columns) + "x" + std::to_string(o.rows) +
                   " inner corners) was not found in " + std::to_string(missing) + " of the " +
                   std::to_string(tried) + " photographs",
               {"check --board: it counts the inner corners (where four squares meet), columns x "
                "rows, not the squares",
                "light the board evenly, without glare on the paper",
                "keep a white margin of at least one square around the squares, and the whole "
                "board inside the picture"});
        return finish();
    }

    // Each camera.
    const std::vector<cv::Point3f> grid = calibBoardPoints(o.columns, o.rows, o.square);
    CalibCameraFit fits[2];
    for (int camera = 0; camera < 2; ++camera) {
        std::vector<std::vector<cv::Point2f>> views;
        for (Photo& p : photos)
            if (p.camera == camera && p.usable) {
                p.view = static_cast<int>(views.size());
                views.push_back(p.corners.points);
            }
        if (!calibFitCamera(grid, views, size, o.fitK3, kMaxViewError, &fits[camera])) {
            for (const Photo& p : photos)
                report.cameras[p.camera].photos.push_back({p.name, p.usable, p.reason, -1});
            refuse(&report,
                   fits[camera].tooManyAbove
                       ? "camera " + std::to_string(camera + 1) +
                             ": more than a third of its views have an error above 1 px after "
                             "the fit"
                       : "camera " + std::to_string(camera + 1) + " cannot be calibrated from its " +
                             std::to_string(views.size()) + " views of the board",
                   {"take more poses (15 recommended), over the whole picture and tilted up to "
                    "35 degrees in different directions",
                    "use a flat, stiff board, evenly lit, held still",
                    "check --square; a wide-angle lens may need --k3"});
            return finish();
        }
        for (Photo& p : photos)
            if (p.camera == camera && p.usable) {
                if (!fits[camera].kept[p.view]) {
                    p.usable = false;
                    p.reason = format("its error %.2f px after the fit is above 1 px: dropped",
                                      fits[camera].viewError[p.view]);
                }
            }
    }

    // The pairs, camera 2's corners numbered as camera 1's.
    struct Pair {
        int series, shot;
        Photo* photo[2];
    };
    std::vector<Pair> pairs;
    for (int series = 0; series < 2; ++series)
        for (size_t k = 0; k < shots[series].size(); ++k) {
            Pair pair{series, static_cast<int>(k), {nullptr, nullptr}};
            for (Photo& p : photos)
                if (p.series == series && p.shot == static_cast<int>(k)) pair.photo[p.camera] = &p;
            if (pair.photo[0]->usable && pair.photo[1]->usable) pairs.push_back(pair);
        }
    int stereoPairs = 0;
    for (const Pair& p : pairs) stereoPairs += p.series == 0;
    const auto listPhotos = [&]() {
        for (int camera = 0; camera < 2; ++camera) report.cameras[camera].used = 0;
        for (const Photo& p : photos) {
            const double error = p.view >= 0 ? fits[p.camera].viewError[p.view] : -1;
            report.cameras[p.camera].photos.push_back({p.name, p.usable, p.reason, error});
            report.cameras[p.camera].used += p.usable;
        }
    };
    if (stereoPairs < kMinPairs) {
        listPhotos();
        refuse(&report,
               "too few usable pairs of the stereo series: " + std::to_string(stereoPairs) +
                   " (at least " + std::to_string(kMinPairs) + ", " +
                   std::to_string(kRecommendedPairs) + " recommended)",
               {"photograph the board in more poses with both cameras at once, over the whole "
                "picture, tilted up to 35 degrees in different directions",
                "the whole board with its white margin must be inside both cameras' pictures"});
        return finish();
    }
    {
        std::vector<cv::Mat> r1, t1, r2, t2;
        for (const Pair& p : pairs) {
            r1.push_back(fits[0].rvecs[p.photo[0]->view]);
            t1.push_back(fits[0].tvecs[p.photo[0]->view]);
            r2.push_back(fits[1].rvecs[p.photo[1]->view]);
            t2.push_back(fits[1].tvecs[p.photo[1]->view]);
        }
        const std::vector<bool> reversed =
            calibReversedPairs(r1, t1, r2, t2, o.columns, o.rows, o.square);
        for (size_t k = 0; k < pairs.size(); ++k)
            if (reversed[k]) {
                std::vector<cv::Point2f>& points = pairs[k].photo[1]->corners.points;
                std::reverse(points.begin(), points.end());
                report.notes.push_back(pairs[k].photo[1]->name +
                                       ": the corners were numbered from the other end of the "
                                       "board than in " + pairs[k].photo[0]->name +
                                       "; numbered again to match");
            }
    }

    // The stereo pair; a pair far above the others is dropped once.
    CalibStereoFit stereo;
    for (int round = 0; round < 2; ++round) {
        std::vector<std::vector<cv::Point2f>> v1, v2;
        for (const Pair& p : pairs) {
            v1.push_back(p.photo[0]->corners.points);
            v2.push_back(p.photo[1]->corners.points);
        }
        if (!calibFitStereo(grid, v1, v2, fits[0], fits[1], size, &stereo)) {
            listPhotos();
            refuse(&report, "the stereo pair cannot be calibrated from these photographs",
                   {"photograph each pose with both cameras at the same instant"});
            return finish();
        }
        if (round == 1) break;
        std::vector<Pair> kept;
        const double limit = std::max(kMaxViewError, 3.0 * stereo.rms);
        for (size_t k = 0; k < pairs.size(); ++k) {
            if (stereo.pairError[k] <= limit) {
                kept.push_back(pairs[k]);
                continue;
            }
            for (Photo* p : pairs[k].photo) {
                p->usable = false;
                p->reason = format("the pair's stereo error %.2f px is far above the others': "
                                   "dropped",
                                   stereo.pairError[k]);
            }
        }
        if (kept.size() == pairs.size() || kept.size() < 3) break;
        pairs = kept;
    }
    stereoPairs = 0;
    for (const Pair& p : pairs) stereoPairs += p.series == 0;
    listPhotos();

    for (int camera = 0; camera < 2; ++camera) {
        CalibCameraReport& c = report.cameras[camera];
        const CalibCameraFit& f = fits[camera];
        c.fx = f.cameraMatrix.at<double>(0, 0);
        c.fy = f.cameraMatrix.at<double>(1, 1);
        c.cx = f.cameraMatrix.at<double>(0, 2);
        c.cy = f.cameraMatrix.at<double>(1, 2);
        for (int i = 0; i < 5; ++i) c.distortion[i] = f.distortion.at<double>(0, i);
        c.rms = f.rms;
    }
    const cv::Matx33d rotation = matx(stereo.rotation);
    const cv::Vec3d translation(stereo.translation.at<double>(0), stereo.translation.at<double>(1),
                                stereo.translation.at<double>(2));
    report.stereoPairs = stereoPairs;
    report.turntablePairs = static_cast<int>(pairs.size()) - stereoPairs;
    report.stereoRms = stereo.rms;
    report.baseline = cv::norm(translation);
    report.cameraAngle =
        std::acos(std::max(-1.0, std::min(1.0, rotation(2, 2)))) * kDegreesPerRadian;
    const double cameraRms = std::max(fits[0].rms, fits[1].rms);
    if (stereo.rms > std::max(1.0, 3.0 * cameraRms)) {
        refuse(&report,
               format("the stereo error %.2f px is far above the cameras' own", stereo.rms) +
                   format(" (%.2f px)", cameraRms),
               {"photograph every pose with both cameras at the same instant, the board held "
                "still",
                "name each pose's two photographs with the same number",
                "a board whose columns and rows differ by one (9x6, 8x7...) is never read "
                "the wrong way round"});
        return finish();
    }
    if (stereoPairs < kMinPairs) {
        refuse(&report,
               "too few usable pairs of the stereo series: " + std::to_string(stereoPairs) +
                   " (at least " + std::to_string(kMinPairs) + ")",
               {"photograph the board in more poses with both cameras at once"});
        return finish();
    }

    // The rig in camera 1's frame.
    Rig rig;
    rig.unit = o.unit;
    rig.width = size.width;
    rig.height = size.height;
    for (int camera = 0; camera < 2; ++camera) {
        RigCamera& r = rig.cameras[camera];
        const CalibCameraReport& c = report.cameras[camera];
        r.fx = c.fx;
        r.fy = c.fy;
        r.cx = c.cx;
        r.cy = c.cy;
        for (int i = 0; i < 5; ++i) r.distortion[i] = c.distortion[i];
        r.rmsPx = c.rms;
    }
    for (int i = 0; i < 9; ++i) rig.cameras[1].rotation[i] = rotation(i / 3, i % 3);
    {
        const cv::Vec3d centre = -(rotation.t() * translation);
        rig.cameras[1].centre = {centre[0], centre[1], centre[2]};
    }
    // The cameras' up: against their pictures' downward y axes.
    const Vec3 up = normalized(-1.0 * (Vec3{0, 1, 0} + rowOf(rotation, 1)));

    if (!o.camerasOnly) {
        std::vector<const Pair*> poses;
        for (const Pair& p : pairs)
            if (p.series == 1) poses.push_back(&p);
        if (poses.size() < 3) {
            refuse(&report,
                   "too few usable turntable pairs: " + std::to_string(poses.size()) +
                       " (at least 3)",
                   {"photograph the board upright on the turntable, wholly inside both "
                    "cameras' pictures, at three or more angles spanning 60 degrees"});
            return finish();
        }
        // The reference pose: the one whose name is nearest the others'.
        int reference = 0;
        double best = 1e9;
        for (size_t a = 0; a < poses.size(); ++a) {
            double worst = 0;
            for (const Pair* b : poses)
                worst = std::max(worst, std::fabs(wrap180(shots[1][b->shot].angle -
                                                          shots[1][poses[a]->shot].angle)));
            if (worst < best) {
                best = worst;
                reference = static_cast<int>(a);
            }
        }
        const int referenceAngle = shots[1][poses[reference]->shot].angle;
        std::vector<double> named;
        double lowest = 0, highest = 0;
        for (const Pair* p : poses) {
            named.push_back(wrap180(shots[1][p->shot].angle - referenceAngle));
            lowest = std::min(lowest, named.back());
            highest = std::max(highest, named.back());
        }
        if (highest - lowest < 60) {
            refuse(&report,
                   format("the turntable photographs span only %.0f degrees (at least 60)",
                          highest - lowest),
                   {"photograph the board on the turntable at angles spanning 60 degrees or "
                    "more, e.g. 315 330 345 000 015 030 045"});
            return finish();
        }
        std::vector<std::vector<Vec3>> corners;
        const std::vector<Vec3> flat = [&]() {
            std::vector<Vec3> v;
            for (const cv::Point3f& g : grid) v.push_back({g.x, g.y, g.z});
            return v;
        }();
        Vec3 referenceRows{0, 0, 0};
        for (size_t k = 0; k < poses.size(); ++k) {
            std::vector<Vec3> c = triangulate(poses[k]->photo[0]->corners.points,
                                              poses[k]->photo[1]->corners.points, fits[0],
                                              fits[1], stereo.rotation, stereo.translation);
            corners.push_back(c);
        }
        // Every pose's corners numbered as the reference pose's: the board's
        // rows keep their direction as the turntable turns.
        const auto rowsDirection = [&](const std::vector<Vec3>& c) {
            double r[9];
            Vec3 t;
            calibRigidFit(flat, c, r, &t);
            return Vec3{r[1], r[4], r[7]};
        };
        referenceRows = rowsDirection(corners[reference]);
        for (size_t k = 0; k < corners.size(); ++k)
            if (dot(rowsDirection(corners[k]), referenceRows) < 0)
                std::reverse(corners[k].begin(), corners[k].end());

        CalibTurnFit turn;
        std::string error;
        if (!calibFitTurn(corners, reference, up, &turn, &error)) {
            refuse(&report, "the turntable's axis cannot be fitted: " + error,
                   {"photograph the board upright on the turntable at three or more angles "
                    "spanning 60 degrees"});
            return finish();
        }
        report.turntable = true;
        report.residual = turn.residual;
        report.axisFromUp =
            std::acos(std::max(-1.0, std::min(1.0, dot(turn.direction, up)))) * kDegreesPerRadian;
        double agreement = 0;
        for (size_t k = 0; k < poses.size(); ++k) agreement += turn.degrees[k] * named[k];
        const double sense = agreement < 0 ? -1.0 : 1.0;
        report.clockwise = sense < 0;
        std::vector<double> offsets;
        for (size_t k = 0; k < poses.size(); ++k)
            offsets.push_back(sense * turn.degrees[k] - named[k]);
        std::vector<double> sorted = offsets;
        std::sort(sorted.begin(), sorted.end());
        const double offset = sorted.size() % 2 ? sorted[sorted.size() / 2]
                                                : 0.5 * (sorted[sorted.size() / 2 - 1] +
                                                         sorted[sorted.size() / 2]);
        std::vector<std::string> misnamed;
        double worstDifference = 0;
        for (size_t k = 0; k < poses.size(); ++k) {
            CalibTurntablePhoto t;
            t.name = poses[k]->photo[0]->name;
            t.nameAngle = shots[1][poses[k]->shot].angle;
            t.difference = wrap180(offsets[k] - offset);
            double measured = std::fmod(t.nameAngle + t.difference, 360.0);
            if (measured < 0) measured += 360;
            t.measured = measured;
            worstDifference = std::max(worstDifference, std::fabs(t.difference));
            if (std::fabs(t.difference) > kAngleRefused)
                misnamed.push_back(t.name + format(" (measured %.1f degrees)", t.measured));
            report.turntablePhotos.push_back(t);
        }
        // In the order the turntable turned.
        std::vector<size_t> order(poses.size());
        for (size_t k = 0; k < order.size(); ++k) order[k] = k;
        std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return named[a] < named[b]; });
        std::vector<CalibTurntablePhoto> inOrder;
        for (size_t k : order) inOrder.push_back(report.turntablePhotos[k]);
        report.turntablePhotos = inOrder;
        if (!misnamed.empty()) {
            std::string list;
            for (const std::string& m : misnamed) list += (list.empty() ? "" : ", ") + m;
            refuse(&report, "turntable angles inconsistent with their names: " + list,
                   {"name each turntable photograph after the angle it was taken at (the angles "
                    "printed above are measured from the board)",
                    "keep the board still on the turntable between photographs"});
            return finish();
        }
        if (worstDifference > kAngleWarned)
            report.warnings.push_back(
                format("a turntable photograph's angle is %.1f degrees from its name", worstDifference));
        // The residual: the corners' triangulation noise is a few hundredths
        // of a square; a board that slipped or bent shows tenths.
        if (turn.residual > 0.25 * o.square) {
            refuse(&report,
                   format("the board's motion on the turntable is not a turn about one axis "
                          "(residual %.3g)",
                          turn.residual),
                   {"keep the board still on the turntable between photographs, standing "
                    "upright and flat"});
            return finish();
        }
        if (turn.residual > 0.03 * o.square)
            report.warnings.push_back(format("the axis fit's residual %.3g is large", turn.residual));

        // The frame's origin: on the axis, level with the board's lowest row
        // of inner corners, or cornerHeight below it (the turntable's top).
        double low = 1e300;
        for (int j = 0; j < o.rows; ++j) {
            double height = 0;
            for (int i = 0; i < o.columns; ++i)
                height += dot(turn.board[j * o.columns + i] - turn.point, turn.direction);
            low = std::min(low, height / o.columns);
        }
        rig.turntable.present = true;
        rig.turntable.axisPoint = turn.point + (low - o.cornerHeight) * turn.direction;
        rig.turntable.axisDirection = turn.direction;
        rig.turntable.clockwise = report.clockwise;
        rig.turntable.residual = turn.residual;
        // Written in the turntable frame itself: the axis is y, its origin 0.
        const RigFrame frame = rigTurntableFrame(rig);
        for (RigCamera& c : rig.cameras) {
            double r[9];
            const Vec3 axes[3] = {frame.x, frame.y, frame.z};
            for (int row = 0; row < 3; ++row)
                for (int col = 0; col < 3; ++col)
                    r[3 * row + col] = dot(Vec3{c.rotation[3 * row], c.rotation[3 * row + 1],
                                                c.rotation[3 * row + 2]},
                                           axes[col]);
            std::copy(r, r + 9, c.rotation);
            const Vec3 d = c.centre - frame.origin;
            c.centre = {dot(d, frame.x), dot(d, frame.y), dot(d, frame.z)};
        }
        rig.turntable.axisPoint = {0, 0, 0};
        rig.turntable.axisDirection = {0, 1, 0};
    }
    report.rig = rig;

    // The verdict.
    for (int camera = 0; camera < 2; ++camera) {
        if (report.cameras[camera].rms > kGoodCameraRms)
            report.warnings.push_back(format("camera %.0f's error", camera + 1.0) +
                                      format(" %.2f px is above 0.3 px", report.cameras[camera].rms));
        int unused = 0;
        for (const CalibPhoto& p : report.cameras[camera].photos) unused += !p.used;
        if (unused > 0)
            report.warnings.push_back(format("camera %.0f: ", camera + 1.0) +
                                      std::to_string(unused) + " photograph" +
                                      (unused > 1 ? "s" : "") + " not used");
    }
    if (report.stereoRms > kGoodStereoRms)
        report.warnings.push_back(format("the stereo error %.2f px is above 0.5 px", report.stereoRms));
    if (stereoPairs < kRecommendedPairs - 3)
        report.warnings.push_back("only " + std::to_string(stereoPairs) +
                                  " poses of the stereo series (" +
                                  std::to_string(kRecommendedPairs) + " recommended)");
    report.verdict = report.warnings.empty() ? CalibVerdict::kGood : CalibVerdict::kWarnings;
    if (report.verdict == CalibVerdict::kWarnings)
        report.advice = {"for a better calibration: more poses over the whole picture, even "
                         "light, a flat board, the board's true square size"};

    if (o.write) {
        const std::string path = o.output.empty() ? o.dir + "/rig.json" : o.output;
        std::string error;
        if (!rigFileWrite(path, rig, &error)) {
            refuse(&report, error, {});
            return finish();
        }
        report.rigPath = path;
    }
    return finish();
}
