#include "geometry/rig_file.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

using Json = nlohmann::json;

namespace {

constexpr size_t kMaxFileBytes = 1 << 20;
constexpr int kMaxPictureSide = 100000;
constexpr double kOrthonormalTolerance = 1e-6;
// What a number too large for a double becomes, so that the reader names its
// key (the JSON parser alone would only name the number).
const char* const kNonFinite = "\x01non-finite";

// One line of text: control characters of a parser's message become blanks.
std::string oneLine(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    return text;
}

std::string number(double v) {
    char text[64];
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, v);
        if (std::strtod(text, nullptr) == v) break;
    }
    // Plain decimals where they are short: 50.0, not 5e+01.
    const double magnitude = std::fabs(v);
    if (std::strchr(text, 'e') != nullptr && magnitude >= 1e-5 && magnitude < 1e16) {
        char fixed[64];
        for (int decimals = 1; decimals <= 24; ++decimals) {
            std::snprintf(fixed, sizeof fixed, "%.*f", decimals, v);
            if (std::strtod(fixed, nullptr) == v) {
                std::snprintf(text, sizeof text, "%s", fixed);
                break;
            }
        }
    }
    std::string s = text;
    // A JSON integer would read back without the sign of a zero; a point
    // keeps every value a floating number.
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

// Reads one object's keys, each fault as `<file>: "<key>": <what>`.
struct Reader {
    const std::string& file;
    std::string* error;

    bool fail(const std::string& key, const std::string& what) const {
        *error = file + ": \"" + key + "\": " + what;
        return false;
    }

    // Every key of `object` is one of `known`; the keys in `required` are there.
    bool keys(const Json& object, const std::string& path, std::initializer_list<const char*> required,
              std::initializer_list<const char*> optional) const {
        const std::string prefix = path.empty() ? "" : path + ".";
        for (const char* key : required)
            if (!object.contains(key)) return fail(prefix + key, "missing");
        for (auto it = object.begin(); it != object.end(); ++it) {
            bool known = false;
            for (const char* key : required) known = known || it.key() == key;
            for (const char* key : optional) known = known || it.key() == key;
            if (!known) return fail(prefix + oneLine(it.key()), "unknown key");
        }
        return true;
    }

    bool object(const Json& value, const std::string& key) const {
        return value.is_object() || fail(key, "must be an object { ... }");
    }

    bool text(const Json& value, const std::string& key, std::string* out) const {
        if (!value.is_string()) return fail(key, "must be a string");
        *out = value.get<std::string>();
        return true;
    }

    bool choice(const Json& value, const std::string& key, std::initializer_list<const char*> options,
                int* index) const {
        std::string s;
        if (!text(value, key, &s)) return false;
        std::string list;
        int i = 0;
        for (const char* option : options) {
            if (s == option) {
                *index = i;
                return true;
            }
            list += std::string(i == 0 ? "" : i + 1 == static_cast<int>(options.size()) ? " or " : ", ") +
                    "\"" + option + "\"";
            ++i;
        }
        return fail(key, "must be " + list + ", not \"" + oneLine(s) + "\"");
    }

    static bool nonFinite(const Json& value) {
        return value.is_string() && value.get_ref<const std::string&>() == kNonFinite;
    }

    bool real(const Json& value, const std::string& key, double* out) const {
        if (nonFinite(value)) return fail(key, "must be a finite number");
        if (!value.is_number()) return fail(key, "must be a number");
        const double v = value.get<double>();
        if (!std::isfinite(v)) return fail(key, "must be a finite number");
        *out = v;
        return true;
    }

    bool reals(const Json& value, const std::string& key, int n, double* out,
               const char* shape) const {
        if (!value.is_array() || static_cast<int>(value.size()) != n)
            return fail(key, std::string("must be an array of ") + std::to_string(n) + " numbers " +
                                 shape);
        for (int i = 0; i < n; ++i) {
            if (nonFinite(value[i]))
                return fail(key, "item " + std::to_string(i + 1) + " is not a finite number");
            if (!value[i].is_number())
                return fail(key, "must be an array of numbers; item " + std::to_string(i + 1) +
                                     " is not a number");
            out[i] = value[i].get<double>();
            if (!std::isfinite(out[i]))
                return fail(key, "item " + std::to_string(i + 1) + " is not a finite number");
        }
        return true;
    }

    bool vec(const Json& value, const std::string& key, Vec3* out) const {
        double v[3];
        if (!reals(value, key, 3, v, "[x, y, z]")) return false;
        *out = {v[0], v[1], v[2]};
        return true;
    }

    bool side(const Json& value, const std::string& key, int* out) const {
        if (!value.is_number_integer()) return fail(key, "must be a whole number of pixels");
        if (value.is_number_unsigned() && value.get<unsigned long long>() > kMaxPictureSide)
            return fail(key, "must be at most " + std::to_string(kMaxPictureSide));
        const auto v = value.get<long long>();
        if (v <= 0) return fail(key, "must be positive, not " + std::to_string(v));
        if (v > kMaxPictureSide)
            return fail(key, "must be at most " + std::to_string(kMaxPictureSide) + ", not " +
                                 std::to_string(v));
        *out = static_cast<int>(v);
        return true;
    }

    // fx 0 cx, 0 fy cy, 0 0 1 with positive focal lengths.
    bool cameraMatrix(const Json& value, const std::string& key, double* fx, double* fy,
                      double* cx, double* cy) const {
        double m[9];
        if (!reals(value, key, 9, m, "[fx, 0, cx, 0, fy, cy, 0, 0, 1]")) return false;
        if (m[1] != 0 || m[3] != 0 || m[6] != 0 || m[7] != 0 || m[8] != 1)
            return fail(key, "must read fx, 0, cx, 0, fy, cy, 0, 0, 1 (no skew)");
        if (!(m[0] > 0)) return fail(key, "focal length fx must be positive, not " + number(m[0]));
        if (!(m[4] > 0)) return fail(key, "focal length fy must be positive, not " + number(m[4]));
        *fx = m[0];
        *cx = m[2];
        *fy = m[4];
        *cy = m[5];
        return true;
    }

    // Orthonormal rows within the tolerance, determinant +1.
    bool rotation(const Json& value, const std::string& key, double* r) const {
        double m[9];
        if (!reals(value, key, 9, m, "(3 rows of 3)")) return false;
        double worst = 0;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                const double d = m[3 * i] * m[3 * j] + m[3 * i + 1] * m[3 * j + 1] +
                                 m[3 * i + 2] * m[3 * j + 2] - (i == j ? 1.0 : 0.0);
                worst = std::fmax(worst, std::fabs(d));
            }
        if (!(worst <= kOrthonormalTolerance)) {
            char what[160];
            std::snprintf(what, sizeof what,
                          "not orthonormal within 1e-06 (worst entry of R R^T - I is %.2g)", worst);
            return fail(key, what);
        }
        const double det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                           m[2] * (m[3] * m[7] - m[4] * m[6]);
        if (det < 0) return fail(key, "a reflection (determinant -1), not a rotation");
        std::memcpy(r, m, sizeof m);
        return true;
    }

    bool camera(const Json& value, const std::string& path, RigCamera* c) const {
        if (!object(value, path)) return false;
        if (!keys(value, path, {"camera_matrix", "distortion", "rotation", "centre"}, {"rms_px"}))
            return false;
        if (!cameraMatrix(value["camera_matrix"], path + ".camera_matrix", &c->fx, &c->fy, &c->cx,
                          &c->cy))
            return false;
        if (!reals(value["distortion"], path + ".distortion", 5, c->distortion,
                   "[k1, k2, p1, p2, k3]"))
            return false;
        if (!rotation(value["rotation"], path + ".rotation", c->rotation)) return false;
        if (!vec(value["centre"], path + ".centre", &c->centre)) return false;
        if (value.contains("rms_px")) {
            if (!real(value["rms_px"], path + ".rms_px", &c->rmsPx)) return false;
            if (c->rmsPx < 0) return fail(path + ".rms_px", "must not be negative");
        }
        return true;
    }

    bool turntable(const Json& value, RigTurntable* t) const {
        if (!object(value, "turntable")) return false;
        if (!keys(value, "turntable", {"axis_point", "axis_direction", "sense"}, {"residual"}))
            return false;
        if (!vec(value["axis_point"], "turntable.axis_point", &t->axisPoint)) return false;
        Vec3 d;
        if (!vec(value["axis_direction"], "turntable.axis_direction", &d)) return false;
        const double n = length(d);
        if (!(n > 1e-12)) return fail("turntable.axis_direction", "has length 0");
        if (!std::isfinite(n)) return fail("turntable.axis_direction", "is too long");
        // A unit direction (as written, to rounding) is kept bit for bit.
        t->axisDirection = std::fabs(n - 1.0) < 1e-12 ? d : normalized(d);
        int sense = 0;
        if (!choice(value["sense"], "turntable.sense", {"counterclockwise", "clockwise"}, &sense))
            return false;
        t->clockwise = sense == 1;
        if (value.contains("residual")) {
            if (!real(value["residual"], "turntable.residual", &t->residual)) return false;
            if (t->residual < 0) return fail("turntable.residual", "must not be negative");
        }
        t->present = true;
        return true;
    }

    bool projector(const Json& value, RigProjector* p) const {
        if (!object(value, "projector")) return false;
        if (!keys(value, "projector", {"image_width", "image_height", "camera_matrix", "rotation", "centre"},
                  {}))
            return false;
        if (!side(value["image_width"], "projector.image_width", &p->width)) return false;
        if (!side(value["image_height"], "projector.image_height", &p->height)) return false;
        if (!cameraMatrix(value["camera_matrix"], "projector.camera_matrix", &p->fx, &p->fy, &p->cx,
                          &p->cy))
            return false;
        if (!rotation(value["rotation"], "projector.rotation", p->rotation)) return false;
        if (!vec(value["centre"], "projector.centre", &p->centre)) return false;
        p->present = true;
        return true;
    }

    bool rig(const Json& root, Rig* out) const {
        if (!root.is_object()) {
            *error = file + ": must hold one JSON object { ... }";
            return false;
        }
        if (!keys(root, "",
                  {"format", "unit", "image_width", "image_height", "pixel_convention", "cameras"},
                  {"turntable", "horizontal_half", "projector"}))
            return false;
        Rig r;
        std::string format;
        if (!text(root["format"], "format", &format)) return false;
        if (format != kRigFileFormat)
            return fail("format", std::string("must be \"") + kRigFileFormat + "\", not \"" +
                                      oneLine(format) + "\"");
        if (!text(root["unit"], "unit", &r.unit)) return false;
        if (r.unit.empty()) return fail("unit", "must not be empty (e.g. \"mm\")");
        if (r.unit.find_first_of("\n\r") != std::string::npos)
            return fail("unit", "must be one line");
        if (!side(root["image_width"], "image_width", &r.width)) return false;
        if (!side(root["image_height"], "image_height", &r.height)) return false;
        int convention = 0;
        if (!choice(root["pixel_convention"], "pixel_convention", {"opencv"}, &convention))
            return false;
        const Json& cameras = root["cameras"];
        if (!cameras.is_array() || cameras.size() != 2)
            return fail("cameras", "must be an array of two camera objects, camera 1 then camera 2");
        for (int i = 0; i < 2; ++i)
            if (!camera(cameras[i], "cameras[" + std::to_string(i) + "]", &r.cameras[i])) return false;
        if (length(r.cameras[1].centre - r.cameras[0].centre) == 0)
            return fail("cameras[1].centre", "is camera 1's centre: the cameras need a baseline");
        if (root.contains("turntable")) {
            if (!turntable(root["turntable"], &r.turntable)) return false;
            // The frame's z axis runs from the axis towards the cameras.
            const Vec3 mid = 0.5 * (r.cameras[0].centre + r.cameras[1].centre);
            const Vec3 toward = mid - r.turntable.axisPoint;
            const Vec3 y = r.turntable.axisDirection;
            if (!(length(toward - dot(toward, y) * y) > 1e-9 * (1.0 + length(toward))))
                return fail("turntable.axis_direction",
                            "the axis passes through the cameras' midpoint: no frame to set");
        }
        r.halfRule = RigHalfRule::kEpipolar;
        if (root.contains("horizontal_half")) {
            int rule = 0;
            if (!choice(root["horizontal_half"], "horizontal_half", {"epipolar", "middle_row"}, &rule))
                return false;
            r.halfRule = rule == 1 ? RigHalfRule::kMiddleRow : RigHalfRule::kEpipolar;
        }
        if (root.contains("projector") && !projector(root["projector"], &r.projector)) return false;
        *out = r;
        return true;
    }
};

std::string numbers(const double* v, int n, int perLine, const std::string& indent) {
    std::string s = "[";
    for (int i = 0; i < n; ++i) {
        if (i > 0) s += i % perLine == 0 ? ",\n" + indent : ", ";
        s += number(v[i]);
    }
    return s + "]";
}

std::string vecText(Vec3 v) {
    const double a[3] = {v.x, v.y, v.z};
    return numbers(a, 3, 3, "");
}

std::string matrixText(double fx, double fy, double cx, double cy, const std::string& indent) {
    const double m[9] = {fx, 0.0, cx, 0.0, fy, cy, 0.0, 0.0, 1.0};
    return numbers(m, 9, 3, indent);
}

}  // namespace

bool rigFileParse(const std::string& text, const std::string& fileName, Rig* rig,
                  std::string* error) {
    Json root;
    std::string json = text;
    for (int attempt = 0;; ++attempt) {
        try {
            root = Json::parse(json);
            break;
        } catch (const Json::out_of_range& e) {
            // "number overflow parsing '1e999'": that number becomes a marker
            // the reader refuses under its key.
            const std::string what = e.what();
            const size_t open = what.find("parsing '"), close = what.rfind('\'');
            if (e.id == 406 && attempt < 100 && open != std::string::npos && close > open + 9) {
                const std::string number = what.substr(open + 9, close - open - 9);
                const size_t at = json.find(number);
                if (at != std::string::npos) {
                    json.replace(at, number.size(), Json(kNonFinite).dump());
                    continue;
                }
            }
            *error = fileName + ": not JSON: " + oneLine(what.substr(what.find("] ") + 2));
            return false;
        } catch (const Json::exception& e) {
            // The parser's message says where: "[json.exception.parse_error.101]
            // parse error at line 1, column 2: ...", kept from "parse error".
            const std::string what = e.what();
            const size_t from = what.find("] ");
            *error = fileName + ": not JSON: " +
                     oneLine(from == std::string::npos ? what : what.substr(from + 2));
            return false;
        }
    }
    const Reader reader{fileName, error};
    return reader.rig(root, rig);
}

bool rigFileRead(const std::string& path, Rig* rig, std::string* error) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        *error = path + ": cannot read: " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = path + ": cannot read: not a regular file";
        return false;
    }
    if (static_cast<uint64_t>(st.st_size) > kMaxFileBytes) {
        *error = path + ": too large for a rig file (" + std::to_string(st.st_size) + " bytes)";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = path + ": cannot read: " + std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        *error = path + ": cannot read: read error";
        return false;
    }
    return rigFileParse(text.str(), path, rig, error);
}

std::string rigFileFormat(const Rig& rig) {
    const std::string in = "      ";
    std::string s = "{\n";
    s += "  \"format\": " + Json(kRigFileFormat).dump() + ",\n";
    s += "  \"unit\": " + Json(rig.unit).dump() + ",\n";
    s += "  \"image_width\": " + std::to_string(rig.width) + ",\n";
    s += "  \"image_height\": " + std::to_string(rig.height) + ",\n";
    s += "  \"pixel_convention\": \"opencv\",\n";
    s += std::string("  \"horizontal_half\": \"") +
         (rig.halfRule == RigHalfRule::kMiddleRow ? "middle_row" : "epipolar") + "\",\n";
    s += "  \"cameras\": [\n";
    for (int i = 0; i < 2; ++i) {
        const RigCamera& c = rig.cameras[i];
        s += "    {\n";
        s += "      \"camera_matrix\": " +
             matrixText(c.fx, c.fy, c.cx, c.cy, in + std::string(18, ' ')) + ",\n";
        s += "      \"distortion\": " + numbers(c.distortion, 5, 5, "") + ",\n";
        s += "      \"rotation\": " + numbers(c.rotation, 9, 3, in + std::string(13, ' ')) + ",\n";
        s += "      \"centre\": " + vecText(c.centre);
        if (c.rmsPx >= 0) s += ",\n      \"rms_px\": " + number(c.rmsPx);
        s += i == 0 ? "\n    },\n" : "\n    }\n";
    }
    s += "  ]";
    const RigTurntable& t = rig.turntable;
    if (t.present) {
        s += ",\n  \"turntable\": {\n";
        s += "    \"axis_point\": " + vecText(t.axisPoint) + ",\n";
        s += "    \"axis_direction\": " + vecText(t.axisDirection) + ",\n";
        s += std::string("    \"sense\": \"") + (t.clockwise ? "clockwise" : "counterclockwise") + "\"";
        if (t.residual >= 0) s += ",\n    \"residual\": " + number(t.residual);
        s += "\n  }";
    }
    const RigProjector& p = rig.projector;
    if (p.present) {
        s += ",\n  \"projector\": {\n";
        s += "    \"image_width\": " + std::to_string(p.width) + ",\n";
        s += "    \"image_height\": " + std::to_string(p.height) + ",\n";
        s += "    \"camera_matrix\": " + matrixText(p.fx, p.fy, p.cx, p.cy, std::string(22, ' ')) + ",\n";
        s += "    \"rotation\": " + numbers(p.rotation, 9, 3, std::string(17, ' ')) + ",\n";
        s += "    \"centre\": " + vecText(p.centre) + "\n";
        s += "  }";
    }
    return s + "\n}\n";
}

bool rigFileWrite(const std::string& path, const Rig& rig, std::string* error) {
    const std::string text = rigFileFormat(rig);
    std::string temp = path + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        *error = path + ": cannot write: " + std::strerror(errno);
        return false;
    }
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *error = path + ": cannot write: " + std::strerror(n < 0 ? errno : ENOSPC);
            close(fd);
            unlink(temp.c_str());
            return false;
        }
        done += static_cast<size_t>(n);
    }
    // mkstemp makes the file readable by its owner only; a rig file is not secret.
    fchmod(fd, 0644);
    if (close(fd) != 0 || std::rename(temp.c_str(), path.c_str()) != 0) {
        *error = path + ": cannot write: " + std::strerror(errno);
        unlink(temp.c_str());
        return false;
    }
    return true;
}

bool rigForFolder(const std::string& dir, const std::string& rigOption, Rig* rig,
                  std::string* source, std::string* error) {
    if (!rigOption.empty()) {
        *source = rigOption;
        return rigFileRead(rigOption, rig, error);
    }
    const std::string beside = (dir.empty() ? std::string(".") : dir) + "/rig.json";
    struct stat st;
    if (stat(beside.c_str(), &st) == 0) {
        *source = beside;
        return rigFileRead(beside, rig, error);
    }
    *source = "the built-in rig";
    *rig = rigBuiltIn();
    return true;
}

std::string rigMissingTurntableMessage(const std::string& fileName) {
    return fileName +
           ": \"turntable\": missing: the rig holds the cameras only; calibrate the turntable "
           "(slscan-calibrate without --cameras-only) or add \"turntable\": {\"axis_point\": "
           "[x, y, z], \"axis_direction\": [x, y, z], \"sense\": \"counterclockwise\"}";
}
