// The accuracy report of a scan rendered with known truth.
//
// Reads DIR/scene.txt (written by slscan-render), DIR/pontos.txt and the
// DIR/pontos_<angle>.txt present, and measures every point of pontos.txt
// against the true surface. The turn check takes each per-angle line, turns it
// back by the angle as the scanner does, and compares it with the same line of
// pontos.txt.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "scene/scene.h"

struct EvalReport {
    std::string object;
    std::vector<std::pair<int, long>> perAngle;  // (angle, points of its file), rising angles
    long points = 0;  // lines of pontos.txt
    double median = 0, p90 = 0, max = 0;  // distance to the surface
    double within1 = 0, beyond5 = 0;      // shares, 0 to 1
    bool turnOk = false;
    std::string turnProblem;  // why the turn check failed
};

// False, with a one-line reason in *error, when a file cannot be read, the
// scan has no scene.txt or no point at all.
// `clockwise`: the rig's turntable sense, for the turn check.
bool evalScan(const std::string& dir, EvalReport* report, std::string* error,
              bool clockwise = false);

std::string evalText(const EvalReport& report);
std::string evalJson(const EvalReport& report);

// The colour error the cloud and mesh reports measure: the photographs scale
// the albedo by the shading, so colours are compared by chromaticity (each
// channel over the sum of the three); the error is the largest channel's
// difference. False for a black colour, which has no chromaticity.
bool evalChromaError(const double colour[3], const double albedo[3], double* error);

// The mean and the 95th percentile of chroma errors (0 when there is none).
void evalChromaSummary(const std::vector<double>& errors, double* mean, double* p95);

// The value at share q of the values (nearest rank); 0 when there is none.
double evalQuantile(std::vector<double> values, double q);
