// The calibration folder's photographs: which files form a pose (the two
// cameras' pictures of the same instant) and the pictures themselves.
//
//   CALIB_DIR/stereo/cam1_NN.<ext>, cam2_NN.<ext>      NN: any digits
//   CALIB_DIR/turntable/cam1_AAA.<ext>, cam2_AAA.<ext> AAA: three digits, 0 to 359
//   <ext>: bmp, png, jpg, jpeg, tif or tiff in any case
// Other files are ignored; a picture without its partner, or a name that
// looks like a photograph but is not one of these, is listed with why.
#pragma once

#include <string>
#include <vector>

// One pose: the two cameras' photographs (paths and names as shown, e.g.
// "stereo/cam1_01.png").
struct CalibShot {
    std::string key;      // "01", "315"
    int angle = 0;        // the turntable series: AAA as a number
    std::string path[2];  // empty when that camera's photograph is missing
    std::string name[2];
};

// A file that is not used, and why.
struct CalibSkipped {
    std::string name;
    std::string reason;
};

// The poses in dir/folder ("stereo" or "turntable"), in the order of their
// keys (as numbers). False when the folder cannot be read; *exists false when
// it does not exist (not an error here).
bool calibListShots(const std::string& dir, const std::string& folder, bool turntable,
                    std::vector<CalibShot>* shots, std::vector<CalibSkipped>* skipped,
                    bool* exists, std::string* error);
