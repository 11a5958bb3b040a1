#pragma once

#include "qev/base/image.h"

// The built-in sample picture, drawn in code: 320 x 240 RGB, square pixels, with
// smooth hue and grey ramps, colour bars and soft discs, so that every stage of a
// conversion has something to show. The caller owns the new picture.
Image* poCreateSamplePicture();
