// The accuracy report of DIR/cloud.ply against the known truth of a rendered
// scan: how clean the kept points are, how many good points survived, whether
// the normals face out, and how close the colours are to the albedo the
// renderer used.
//
// The photographs scale the albedo by the shading, so colours are compared by
// chromaticity (each channel over the sum of the three): the renderer's albedo
// at the surface point nearest the cloud point against the point's colour.
#pragma once

#include <string>

struct CloudReport {
    long scanPoints = 0;        // lines of pontos.txt
    long keptPoints = 0;        // vertices of cloud.ply
    double keptBeyond5 = 0;     // share of the kept points beyond 5 units of the surface
    double within1Kept = 0;     // share of the scan's points within 1 unit that were kept
    double normalsOutward = 0;  // share of kept points whose normal faces out (within 90 degrees)
    double normalMedianDegrees = 0;  // median angle to the true normal, over points within 1 unit
    double chromaMean = 0;      // mean over points within 1 unit of the largest channel's
    double chroma95 = 0;        //   chromaticity error, and its 95th percentile
    long colourPoints = 0;      // points whose colour was measured
};

// False, with one line in *error, when a file cannot be read, the scan has
// no scene.txt or cloud.ply no point.
bool evalCloud(const std::string& dir, CloudReport* report, std::string* error);

std::string evalCloudText(const CloudReport& report);
std::string evalCloudJson(const CloudReport& report);
