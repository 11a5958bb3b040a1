#pragma once

#include "qev/base/image.h"

#include <cstdio>

// Reads a JPEG from an open stream (neither closed nor rewound): greyscale as
// texel size 1, RGB and YCbCr as texel size 3, aspect ratio 1.0. CMYK, YCCK and
// unknown colour spaces, damaged or truncated data and pictures beyond
// g_iMaxImageDimension give null after a message on standard error. Library
// warnings are printed on standard output and decoding goes on. The caller owns
// the new picture.
Image* poReadImageFromJPEGFile(FILE* poFile);
