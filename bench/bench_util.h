#pragma once

#include "qev/base/image.h"

#include <cstdint>
#include <vector>

// Inputs the benchmarks share, generated in code.

// A picture like a photograph: smooth multi-colour waves with noise of +-iNoise / 2
// per channel, texel size 3, square pixels. The caller owns it.
Image* poPhotoLike(int iWidth, int iHeight, uint32_t uiSeed, int iNoise);

// Bytes of one screen in the Screen 8 form (green 3 bits, red 3, blue 2) of smooth
// shading with some noise: what the compressors see of a photograph.
std::vector<unsigned char> aucScreen8PhotoLike(int iLength);

// The bytes of a Screen 8 page.
constexpr int g_iScreen8PageBytes = 256 * 212;
