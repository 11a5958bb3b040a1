#pragma once

#include "qev/base/color.h"
#include "qev/base/settings.h"

#include <cstdint>

// YJK colour, the colour model of Screens 10 and 12: four horizontally adjacent
// pixels share one chroma pair (J, K) and each has its own luminance Y.
//
//   Y 0..31 (Screen 10 keeps only even values), J and K -32..31.
//   Decoded pixel: red   = clamp(Y + J)
//                  green = clamp(Y + K)
//                  blue  = clamp(trunc((5 Y - 2 J - K + 2) / 4))
//   clamp to 0..31, trunc toward zero, each channel then expanded to a byte by
//   floor((255 v + 15) / 31). All Y give 19,268 distinct colours, even Y 12,499.
//
// Group bytes, as they sit in video memory:
//   byte 0  Y0 in bits 7-3, K bits 2-0 in bits 2-0
//   byte 1  Y1 in bits 7-3, K bits 5-3 in bits 2-0
//   byte 2  Y2 in bits 7-3, J bits 2-0 in bits 2-0
//   byte 3  Y3 in bits 7-3, J bits 5-3 in bits 2-0

// The decoded colour of every (Y, J, K), alpha 255: (Y, J, K) is at
// g_poColors[2048 J + 32 K + Y] with signed J and K. Null until the table is filled.
// The table is filled once per process, by vComputeColors or by the first call of
// any function below that needs it, and never changes afterwards.
extern const Color* g_poColors;

// Fills the colour table and sets g_poColors. Later calls do nothing. Safe to call
// from several threads.
void vComputeColors();

// Converts four pixels (left to right; only red, green and blue are read) to the
// YJK group that the method finds best, and writes its four bytes and the four
// colours those bytes display (alpha 255).
//
// Methods: Standard and Least squares take a matrix estimate; Gradient descent
// walks from the least-squares estimate by single steps; Area search tries J and K
// within 3 and each Y within 2 of that estimate; Brute force tries every J, K and Y.
// Candidates are compared by fColorDelta(candidate, pixel, fExponent, 255.0,
// eDeltaMethod, fWeight) summed over the four pixels in order; among equal totals
// the first J, then K, in ascending order wins, and within a pixel the lowest Y.
// bEvenY restricts Y to even values (Screen 10, whose bit 3 is the attribute bit).
// A method value outside the enumeration converts as Standard. Should no total fall
// below the largest finite double (distances that are all infinite or not a
// number), the least-squares estimate stands, for Brute force too.
//
// For one group at a time; converting many groups is cheaper through YJKConverter
// (yjk_converter.h).
void vRGB2YJK(const Color* poPixels, unsigned char* pucBytes, Color* poColors, tdRGB2YJKMethod eMethod,
              bool bEvenY, double fExponent, tdDeltaMethod eDeltaMethod, double fWeight);

// The same conversion done the plain way: every candidate measured with
// fColorDelta, every range scanned in full, nothing kept between calls. It defines
// the result that vRGB2YJK and YJKConverter must reproduce byte for byte, and is
// kept for tests and benchmarks; Brute force takes milliseconds per group here (a
// fifth of a second with CIEDE2000).
void vRGB2YJKReference(const Color* poPixels, unsigned char* pucBytes, Color* poColors,
                       tdRGB2YJKMethod eMethod, bool bEvenY, double fExponent, tdDeltaMethod eDeltaMethod,
                       double fWeight);
