// The synthetic rig: renders the eight photographs of one camera at one
// turntable angle, as the real rig would take them.
//
// Each pixel is traced once per subsample; the hit point, its normal, its
// projector pixel and whether the projector sees it are shared by the eight
// photographs, which differ only in the stripe colour projected there.
#pragma once

#include <cstdint>
#include <string>

#include "geometry/rig.h"
#include "image/image.h"
#include "scene/scene.h"

// What real cameras and projectors add to the light, all off by default (a
// scan rendered without them is byte for byte what it always was). The
// camera sees channel c = sum over primaries p of crosstalk[3c + p] times the
// light of primary p; vignetting, white balance and exposure scale it, it is
// clipped at 0 and 1 and encoded with 1 / gamma, and the sensor's black level
// and noise (RenderOptions) are added to the encoded value.
struct RenderEffects {
    double crosstalk[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};  // rows: camera channels
    double gamma = 1.0;
    double projectorBlack = 0.0;   // light of a dark primary, share of a lit one
    double vignetting = 1.0;       // gain in the picture's corners (1 = none)
    double whiteBalance[3] = {1, 1, 1};
    double exposure = 1.0;
    double specular = 0.0;         // strength of the projector's highlight (shininess 40)
};

// True when any effect is on.
bool renderEffectsOn(const RenderEffects& e);

// Crosstalk x unequal between the channels, as a Bayer filter leaks: the
// matrix I + x W, W's rows 0 1 0.3, 0.6 0 0.8, 0.2 1 0 (camera red sees green
// most, blue sees green, green sees blue and red).
void renderBayerCrosstalk(double x, RenderEffects* e);

struct RenderOptions {
    std::string object = "horse";
    int antialias = 2;      // subsamples per pixel along each axis (1 = off)
    double noise = 0.0;     // Gaussian noise, standard deviation in byte units
    double black = 0.0;     // black level in byte units, added before the noise
    double blur = 0.0;      // optics blur: Gaussian spot, standard deviation in pixels
    bool texture = false;   // a varying coloured albedo instead of a uniform grey
    double ambient = 0.05;
    uint32_t seed = 1;
    int width = 1024;
    int height = 768;
    RenderEffects effects;
    // The rig the scan is taken with: cameras, lenses, turntable and the
    // projector the stripes are drawn through. The built-in rig by default;
    // width and height are the rig's picture size, or a cut from it.
    Rig rig = rigBuiltIn();
};

// The 37-stripe colour sequences of pattern 1 and 2 (1 red, 2 green, 3 blue).
extern const int kStripePattern1[37];
extern const int kStripePattern2[37];

// The albedo (red, green, blue, each 0 to 1) of the object point q (object
// frame): a uniform grey, or with `texture` a colour that varies smoothly
// over the surface.
void renderAlbedo(const RenderOptions& options, Vec3 q, double rgb[3]);

// The colour (1 to 3) that the point (column, row) of a projector picture of
// width x height pixels shows in a pattern (1 or 2) of vertical or
// horizontal stripes, or 0 outside the picture and in the dark band between
// the two copies of the horizontal stripes. Pixel (i, j) covers columns i to
// i + 1 and rows j to j + 1, rows counted from the picture's bottom. The
// vertical stripes are 37 equal columns; each copy of the horizontal ones is
// 37 equal rows, the lower copy below row 368 / 768 of the height, the upper
// one above row 400 / 768 (for 768 rows: band rows 368 to 399).
int projectorColour(int pattern, bool vertical, double column, double row, int width = 1024,
                    int height = 768);

// Where the rig's projector shows a world point: (column, row) as
// projectorColour takes them; inFront is false behind the projector.
ProjectorPixel renderProjectorPixel(const RigProjector& projector, Vec3 world);

// Renders photographs 1 to 8 of `camera` (1 or 2) at `angle` degrees, in the
// order the scanner reads them, into out[0..7] (new images the caller owns),
// using `threads` threads. A pixel is the mean of its subsamples; with a blur
// the picture is then convolved with the Gaussian spot (edges repeated); the
// black level and the noise come last, as a sensor adds them, so the noise of
// a black level above zero is not clipped at black.
void renderView(const SceneObject& object, const RenderOptions& options, int camera, int angle,
                int threads, Image* out[8]);

// The description of a render that slscan-eval reads back.
std::string renderDescription(const RenderOptions& options);
