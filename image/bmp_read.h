// imgReadBMP: loads an uncompressed 24-bit BMP photograph into a new Image.
//
// Each channel becomes byte / 255 (computed in double, stored as float); row 0
// of the Image is the first row of pixels stored in the file. Messages go to
// stderr, one line each, and every failure returns nullptr with nothing left
// allocated or open:
//   "imgReadBMP: Not a bitmap 24 bits file."  header too short or bit count != 24
//   "get24bits: Unexpected end of file."       the file cannot hold its pixel rows
//   "get24bits: Not enough memory."            no memory for the pixel block
//   "imgReadBMP: ..."                          a file that cannot be opened or is
//                                              not a regular file (a FIFO, a
//                                              device, a folder), or a width or
//                                              height that is zero, negative
//                                              (width) or above the cap below
//
// The pixel rows begin at the offset stored at byte 10 when it is at least 54
// and the rows fit behind it in the file, else directly behind the 54-byte
// headers. A negative height (rows stored top down) loads as the bottom-up
// file of the same picture would. A file with the old 12-byte core header
// (16-bit sizes, headers 26 bytes long) is read by that layout.
#pragma once

#include <cstdint>
#include <cstdio>

#include "image/image.h"

// The largest picture the reader accepts, in pixels: 2^27 = 134,217,728, an
// image of 1.6 GB in floats (the scan holds five at a time). The largest
// single-shot camera sensors of today have 100 to 150 million pixels and the
// usual ones 3 to 50, so every real camera of up to about 100 megapixels loads
// (the 102-megapixel medium-format sensors included), while a header claiming
// 40000 x 40000 is refused before anything is allocated. Other readers draw the
// line in the same region: a cap of 2^24 on each side, or a decompression-bomb
// guard that warns at 89 and refuses at 179 million pixels.
constexpr uint64_t kImgMaxPixels = uint64_t{1} << 27;

Image* imgReadBMP(const char* path);

// The reader's core on a stream open for reading from its first byte; the
// stream stays open. Used by imgReadBMP and by the fuzzer on memory streams.
Image* imgReadBMPStream(std::FILE* file);
