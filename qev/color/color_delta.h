#pragma once

#include "qev/base/color.h"
#include "qev/base/settings.h"

// Colour distances. Every choice between candidate colours in the converter is
// decided by fColorDelta, so its results are compared and summed but never
// square-rooted: it returns a squared distance, raised to an exponent.

// Distance between the red, green and blue of two colours (alpha is ignored).
//   fExponent  the squared distance is raised to it unless it is exactly 1.0
//   fScale     the channel value that stands for full intensity: 255.0 for bytes,
//              7.0 for MSX palette levels; must be positive
//   eMethod    the distance; a value outside the enumeration gives 0.0
//   fWeight    brightness weight, read by DeltaMethod_Hit9918 only
// A channel above fScale is a programming error: the callers pass bytes with 255.0
// and levels 0..7 with 7.0. It stops the program with an assertion that names the
// cause instead of letting a nonsense distance steer a search.
double fColorDelta(const Color* poColor1, const Color* poColor2, double fExponent, double fScale,
                   tdDeltaMethod eMethod, double fWeight);

// Index of the entry nearest to oColor by fColorDelta with exponent 1.0. Entries
// are visited in index order and only a strictly smaller distance replaces the
// best, so the lowest index wins a tie. 0 when uiCount is 0.
int iNearest(Color oColor, const Color* poEntries, unsigned int uiCount, double fScale, tdDeltaMethod eMethod,
             double fWeight);

// Red, green, blue in 0..1 (sRGB) to CIELAB with the white point (0.9504, 1, 1.089)
// and a power-function cube root: white gives a = 0.0123, b = 0.0104.
void rgb2lab(double fRed, double fGreen, double fBlue, double* pfL, double* pfA, double* pfB);

// The conversions behind the methods, for callers that cache per-colour values
// (the YJK searches); channels 0..1. XYZ with the variant-A linearisation of the
// "XYZ" method; CIELAB with the variant-B linearisation and white point of
// deltaE00_srgb; Oklab as oklab_distance computes it.
void vRGBToXYZA(double fRed, double fGreen, double fBlue, double* pfX, double* pfY, double* pfZ);
void vRGBToLabB(double fRed, double fGreen, double fBlue, double* pfL, double* pfA, double* pfB);
void vRGBToOklab(double fRed, double fGreen, double fBlue, double* pfL, double* pfA, double* pfB);

// The squared CIEDE2000 difference (kL = kC = kH = 1) between two CIELAB colours.
double ciede2000(double fL1, double fA1, double fB1, double fL2, double fA2, double fB2);

// The squared CIEDE2000 difference between two sRGB colours (channels 0..1),
// converted to CIELAB with the D65 white point (0.95047, 1, 1.08883) and a real
// cube root.
double deltaE00_srgb(double fRed1, double fGreen1, double fBlue1, double fRed2, double fGreen2,
                     double fBlue2);

// The squared Euclidean distance in Oklab between two sRGB colours (channels 0..1).
double oklab_distance(double fRed1, double fGreen1, double fBlue1, double fRed2, double fGreen2,
                      double fBlue2);
