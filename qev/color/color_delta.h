#pragma once

#include "qev/base/color.h"
#include "qev/base/settings.h"

#include <cfloat>

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

// A colour measured once for many distances: what fColorDelta computes from one
// colour alone (RGB and Hit9918: the normalised channels and, for Hit9918, the
// brightness; the other methods: the colour's coordinates in the method's space;
// CIEDE2000 adds, for its bounds, the CIELAB chroma C, the hues in degrees of
// (a G, b) for G = 1 and G = 1.5, the range of ciede2000's factor G, and
// 1 / (1 + 0.0675 C)^2, and the hue windows of fCIEDE2000TableBound that hold
// both of those hues, as bits).
struct tdDeltaPoint
{
    double af[8];
};

// The point of oColor for eMethod on the channel scale fScale (see fColorDelta,
// including the assertion on a channel above the scale).
void vDeltaPoint(Color oColor, double fScale, tdDeltaMethod eMethod, tdDeltaPoint* po);

// fColorDelta(color1, color2, 1.0, scale, method, weight) from the two colours'
// points, bit for bit: the same double operations in the same order.
double fPointDelta(const tdDeltaPoint& o1, const tdDeltaPoint& o2, tdDeltaMethod eMethod, double fWeight);

// fPointDelta of the methods whose distance is the squared Euclidean distance of
// the points (RGB, XYZ, LAB, Oklab), inline for the tightest loops.
inline double fPointSquaredDistance(const tdDeltaPoint& o1, const tdDeltaPoint& o2)
{
    double fDX = o1.af[0] - o2.af[0];
    double fDY = o1.af[1] - o2.af[1];
    double fDZ = o1.af[2] - o2.af[2];
    return fDX * fDX + fDY * fDY + fDZ * fDZ;
}

// A lower bound of fPointDelta(o1, o2, DeltaMethod_CIEDE2000, weight), cheap
// beside it. With x = dL'/SL, y = dC'/SC, z = dH'/SH the distance is
// x^2 + y^2 + z^2 + RT y z with |RT| <= RC sin(60 degrees), so at least
// x^2 + k (y^2 + z^2) with k = 1 - RC sin(2 dTheta) / 2 >= 1 - RC sin(60 degrees)
// / 2 > 0.13; the rotation dTheta peaks at the mean hue 275 degrees, and the
// range of the mean hue (from each colour's hue range) limits it. dC'^2 + dH'^2
// is the squared distance between the colours' (a G, b) (law of cosines; a grey's
// hue difference of 0 changes it by under 1e-11), and SH = 1 + 0.015 C'bar T with
// T <= 1.93. G, C', RC are computed as ciede2000 does but with square roots for
// hypot and multiplications for the 7th powers, so the bound is returned less a
// relative margin of 1e-9 and an absolute one of 1e-6, far above the rounding of
// either side. Stages that already pass fLimit end the work: the result is then a
// weaker bound, still above fLimit.
double fCIEDE2000LowerBound(const tdDeltaPoint& o1, const tdDeltaPoint& o2, double fLimit = DBL_MAX);

// A cruder bound of the same without square roots or divisions:
// (dL / 1.75)^2 + 0.1339 min(w1, w2) (da^2 + db^2), less the same margins, with
// w = 1 / (1 + 0.0675 C)^2 of each point: SL <= 1.75 for lightness in 0..100, and
// SC <= 1 + 0.045 * 1.5 max(C1, C2) bounds the chroma and hue terms as above.
// Its lightness part alone, for a lightness difference fDL: a bound too, and one
// that only grows with |fDL|, so searches ordered by lightness stop where it passes.
inline double fCIEDE2000LightnessBound(double fDL)
{
    return fDL * fDL * (0.32653061224489793 * (1.0 - 1e-9)) - 1e-6;
}

// Factors for fCIEDE2000TableBound, by quarter units of the two colours' mean
// lightness (0..128) and mean chroma C (0..256); the last entry of each, also
// used beyond those ranges, is 0.
//   afLightness  at most 1 / SL^2 for any mean lightness of the quarter;
//   afChroma     at most k / SC^2 for any mean chroma of the quarter, with
//                k = 1 - RC sin(60 degrees) / 2 and SC, RC taken at the largest
//                mean C' = G C of the quarter (G C grows with C, SC and RC with C');
//   afG2         at most G^2 for any mean chroma of the quarter (G falls as C grows);
//   afChromaAway afChroma with sin(2 dTheta) <= 0.0033 in k, for two colours
//                whose hues lie in one of two windows of 180 degrees, 35..215 and
//                335..155: their mean hue is then at least 60 degrees from 275
//                (ciede2000 takes the mean along the shorter arc, possibly written
//                360 degrees off, which only moves it further), so
//                dTheta <= 30 exp(-(60 / 25)^2) degrees.
struct tdCIEDE2000BoundTables
{
    double afLightness[512];
    double afChroma[1024];
    double afG2[1024];
    double afChromaAway[1024];
};

// The hue windows of a colour's point (bit 0: 35..215, bit 1: 335..155), each
// with a margin of 0.01 degrees, that hold both its hues for G = 1 and 1.5 (and
// so ciede2000's hue, which lies between them); none for a grey.
unsigned int uiCIEDE2000HueWindows(const tdDeltaPoint& o);
const tdCIEDE2000BoundTables& oCIEDE2000BoundTables();

// A lower bound of fPointDelta(o1, o2, DeltaMethod_CIEDE2000, weight) as cheap as
// fCIEDE2000QuickBound and tighter, from the tables above:
// dL^2 / SL^2 + k (dC'^2 + dH'^2) / SC^2 with dC'^2 + dH'^2 = G^2 da^2 + db^2
// (the squared distance of (a G, b), law of cosines) and SH <= SC, less the
// margins of fCIEDE2000LowerBound.
// The colour o1 may also be given as its first four values (L, a, b, C) and its
// hue windows.
inline double fCIEDE2000TableBound(const tdCIEDE2000BoundTables& oTables, const double* pf1,
                                   unsigned int uiWindows1, const tdDeltaPoint& o2)
{
    const double* pfChroma =
        uiWindows1 & static_cast<unsigned int>(o2.af[7]) ? oTables.afChromaAway : oTables.afChroma;
    double fDL = o2.af[0] - pf1[0];
    double fDA = o2.af[1] - pf1[1];
    double fDB = o2.af[2] - pf1[2];
    double fL = (pf1[0] + o2.af[0]) * 2.0; // quarters of the mean
    double fC = (pf1[3] + o2.af[3]) * 2.0;
    int iL = fL >= 0.0 && fL < 511.0 ? static_cast<int>(fL) : 511;
    int iC = fC >= 0.0 && fC < 1023.0 ? static_cast<int>(fC) : 1023;
    return (fDL * fDL * oTables.afLightness[iL] + (fDA * fDA * oTables.afG2[iC] + fDB * fDB) * pfChroma[iC]) *
               (1.0 - 1e-9) -
           1e-6;
}

inline double fCIEDE2000TableBound(const tdCIEDE2000BoundTables& oTables, const tdDeltaPoint& o1,
                                   const tdDeltaPoint& o2)
{
    return fCIEDE2000TableBound(oTables, o1.af, static_cast<unsigned int>(o1.af[7]), o2);
}

inline double fCIEDE2000QuickBound(const tdDeltaPoint& o1, const tdDeltaPoint& o2)
{
    double fDL = o2.af[0] - o1.af[0];
    double fDA = o2.af[1] - o1.af[1];
    double fDB = o2.af[2] - o1.af[2];
    double fW = o1.af[6] < o2.af[6] ? o1.af[6] : o2.af[6];
    return (fDL * fDL * 0.32653061224489793 + 0.1339 * fW * (fDA * fDA + fDB * fDB)) * (1.0 - 1e-9) - 1e-6;
}
