// Colour distances: RGB, XYZ, CIELAB (CIE76), CIEDE2000, "Hit9918" (RGB plus
// weighted perceived brightness) and Oklab, all as squared distances.
//
// Two sRGB-to-CIELAB conversions live side by side on purpose. Variant A
// (rgb2lab, the XYZ and LAB methods) multiplies by precomputed reciprocals and
// takes the cube root as a power, with the white point (0.9504, 1, 1.089);
// variant B (CIEDE2000 and Oklab) divides and uses the real cube root, with the
// D65 white point (0.95047, 1, 1.08883). Palettes depend on the last bit of these
// values through their tie rules, so neither may be "tidied" into the other.

#include "qev/color/color_delta.h"

#include "qev/base/assert.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace
{
// 25^7, the chroma constant of CIEDE2000.
constexpr double g_fPow25To7 = 6103515625.0;
constexpr double g_fDegreesPerRadian = 57.29577951308232;
constexpr double g_fRadiansPerDegree = 0.017453292519943295;
// (6/29)^3: below it CIELAB's cube root becomes a straight line.
constexpr double g_fLabEpsilon = 0.008856451679035631;
constexpr double g_fLabOffset = 0.13793103448275862; // 4/29

// sRGB transfer function, variant A: multiplications by 1/12.92 and 1/1.055.
inline double fLineariseA(double c)
{
    return c <= 0.04045 ? c * 0.07739938080495357 : pow((c + 0.055) * 0.9478672985781991, 2.4);
}

// sRGB transfer function, variant B: divisions by 12.92 and 1.055.
inline double fLineariseB(double c)
{
    return c <= 0.04045 ? c / 12.92 : pow((c + 0.055) / 1.055, 2.4);
}

// Linear sRGB to CIE XYZ (D65), shared by both variants.
//                 R           G           B
// X         0.4124564   0.3575761   0.1804375
// Y         0.2126729   0.7151522   0.0721750
// Z         0.0193339   0.1191920   0.9503041
inline void vLinearToXYZ(double r, double g, double b, double* pfX, double* pfY, double* pfZ)
{
    *pfX = 0.4124564 * r + 0.3575761 * g + 0.1804375 * b;
    *pfY = 0.2126729 * r + 0.7151522 * g + 0.072175 * b;
    *pfZ = 0.0193339 * r + 0.119192 * g + 0.9503041 * b;
}

inline double fLabA(double t)
{
    return t > g_fLabEpsilon ? pow(t, 0.3333333333333333) : 7.787037037037035 * t + g_fLabOffset;
}

inline double fLabB(double t)
{
    return t > g_fLabEpsilon ? cbrt(t) : t / 0.12841854934601665 + g_fLabOffset;
}

inline double fSquaredDistance(double fX1, double fY1, double fZ1, double fX2, double fY2, double fZ2)
{
    double fDX = fX1 - fX2;
    double fDY = fY1 - fY2;
    double fDZ = fZ1 - fZ2;
    return fDX * fDX + fDY * fDY + fDZ * fDZ;
}

// Hue angle in degrees, 0..360; 0 for a chroma too small to have a hue.
inline double fHueDegrees(double fB, double fAPrime, double fCPrime)
{
    if (fCPrime < 1e-12) return 0.0;
    // fmod(h + 360, 360) without the division: h + 360 lies in 180..540, and from
    // 360 up the difference h + 360 - 360 is exact (both within a factor of two),
    // so the result is the same double.
    const double fHue = atan2(fB, fAPrime) * g_fDegreesPerRadian + 360.0;
    return fHue >= 360.0 ? fHue - 360.0 : fHue;
}

inline double fCosDegrees(double fDegrees)
{
    return cos(fDegrees * g_fRadiansPerDegree);
}
} // namespace

void vRGBToXYZA(double fRed, double fGreen, double fBlue, double* pfX, double* pfY, double* pfZ)
{
    vLinearToXYZ(fLineariseA(fRed), fLineariseA(fGreen), fLineariseA(fBlue), pfX, pfY, pfZ);
}

namespace
{
// The conversions below from linear red, green and blue.
void vLinearToLabB(double r, double g, double b, double* pfL, double* pfA, double* pfB)
{
    double fX, fY, fZ;
    vLinearToXYZ(r, g, b, &fX, &fY, &fZ);
    double fFX = fLabB(fX / 0.95047);
    double fFY = fLabB(fY);
    double fFZ = fLabB(fZ / 1.08883);
    *pfL = 116.0 * fFY - 16.0;
    *pfA = 500.0 * (fFX - fFY);
    *pfB = 200.0 * (fFY - fFZ);
}

void vLinearToOklab(double r, double g, double b, double* pfL, double* pfA, double* pfB)
{
    double l = cbrt(0.4122214708 * r + 0.5363325363 * g + 0.0514459929 * b);
    double m = cbrt(0.2119034982 * r + 0.6806995451 * g + 0.1073969566 * b);
    double s = cbrt(0.0883024619 * r + 0.2817188376 * g + 0.6299787005 * b);
    *pfL = 0.2104542553 * l + 0.7936177850 * m - 0.0040720468 * s;
    *pfA = 1.9779984951 * l - 2.4285922050 * m + 0.4505937099 * s;
    *pfB = 0.0259040371 * l + 0.7827717662 * m - 0.8086757660 * s;
}

void vLinearToLabA(double r, double g, double b, double* pfL, double* pfA, double* pfB)
{
    double fX, fY, fZ;
    vLinearToXYZ(r, g, b, &fX, &fY, &fZ);
    double fFX = fLabA(fX * 1.0521885521885521); // X / 0.9504
    double fFY = fLabA(fY);
    double fFZ = fLabA(fZ * 0.9182736455463728); // Z / 1.089
    *pfL = 116.0 * fFY - 16.0;
    *pfA = 500.0 * (fFX - fFY);
    *pfB = 200.0 * (fFY - fFZ);
}

// Both transfer functions of the 256 channel values of a byte colour on the scale
// 255.0, whose channel is byte * (1.0 / 255.0) wherever a distance is formed:
// computed once, they are the same doubles.
struct tdByteTransfer
{
    double afA[256];
    double afB[256];
};

const tdByteTransfer& oByteTransfer()
{
    static const tdByteTransfer s_o = []
    {
        tdByteTransfer o;
        const double fInverse = 1.0 / 255.0;
        for (int i = 0; i < 256; i++)
        {
            o.afA[i] = fLineariseA(i * fInverse);
            o.afB[i] = fLineariseB(i * fInverse);
        }
        return o;
    }();
    return s_o;
}

// The linear red, green and blue of a colour on the scale fScale (fInverse =
// 1 / fScale) by variant A or B.
inline void vLinearOf(const Color& o, double fScale, double fInverse, bool bVariantA, double* pf)
{
    if (fScale == 255.0)
    {
        const double* pfTable = bVariantA ? oByteTransfer().afA : oByteTransfer().afB;
        pf[0] = pfTable[o.r];
        pf[1] = pfTable[o.g];
        pf[2] = pfTable[o.b];
    }
    else if (bVariantA)
    {
        pf[0] = fLineariseA(o.r * fInverse);
        pf[1] = fLineariseA(o.g * fInverse);
        pf[2] = fLineariseA(o.b * fInverse);
    }
    else
    {
        pf[0] = fLineariseB(o.r * fInverse);
        pf[1] = fLineariseB(o.g * fInverse);
        pf[2] = fLineariseB(o.b * fInverse);
    }
}

// The coordinates of a colour on the scale fScale (fInverse = 1 / fScale) in the
// space of eMethod, for XYZ, LAB, CIEDE2000 (its CIELAB) and Oklab.
void vCoordinatesOf(const Color& o, double fScale, double fInverse, tdDeltaMethod eMethod, double* pf)
{
    double afLinear[3];
    vLinearOf(o, fScale, fInverse, eMethod == DeltaMethod_XYZ || eMethod == DeltaMethod_LAB, afLinear);
    if (eMethod == DeltaMethod_XYZ)
        vLinearToXYZ(afLinear[0], afLinear[1], afLinear[2], &pf[0], &pf[1], &pf[2]);
    else if (eMethod == DeltaMethod_LAB)
        vLinearToLabA(afLinear[0], afLinear[1], afLinear[2], &pf[0], &pf[1], &pf[2]);
    else if (eMethod == DeltaMethod_CIEDE2000)
        vLinearToLabB(afLinear[0], afLinear[1], afLinear[2], &pf[0], &pf[1], &pf[2]);
    else
        vLinearToOklab(afLinear[0], afLinear[1], afLinear[2], &pf[0], &pf[1], &pf[2]);
}
} // namespace

// Variant B of sRGB (0..1) to CIELAB.
void vRGBToLabB(double fRed, double fGreen, double fBlue, double* pfL, double* pfA, double* pfB)
{
    vLinearToLabB(fLineariseB(fRed), fLineariseB(fGreen), fLineariseB(fBlue), pfL, pfA, pfB);
}

// sRGB (0..1, linearised by variant B) to Oklab, with the published matrices.
void vRGBToOklab(double fRed, double fGreen, double fBlue, double* pfL, double* pfA, double* pfB)
{
    vLinearToOklab(fLineariseB(fRed), fLineariseB(fGreen), fLineariseB(fBlue), pfL, pfA, pfB);
}

void rgb2lab(double fRed, double fGreen, double fBlue, double* pfL, double* pfA, double* pfB)
{
    vLinearToLabA(fLineariseA(fRed), fLineariseA(fGreen), fLineariseA(fBlue), pfL, pfA, pfB);
}

namespace
{
// ciede2000 with the chroma of each colour, hypot(a, b), given: points keep it.
inline double fCIEDE2000WithChroma(double fL1, double fA1, double fB1, double fC1, double fL2, double fA2,
                                   double fB2, double fC2)
{
    double fM = pow((fC1 + fC2) / 2.0, 7.0);
    double fG = 1.0 + 0.5 * (1.0 - sqrt(fM / (fM + g_fPow25To7)));

    double fA1Prime = fA1 * fG;
    double fA2Prime = fA2 * fG;
    double fC1Prime = hypot(fA1Prime, fB1);
    double fC2Prime = hypot(fA2Prime, fB2);

    double fH1Prime = fHueDegrees(fB1, fA1Prime, fC1Prime);
    double fH2Prime = fHueDegrees(fB2, fA2Prime, fC2Prime);

    double fDeltaHPrime;
    double fHBarPrime;
    if (fC1Prime < 1e-12 || fC2Prime < 1e-12)
    {
        // A grey has no hue: no hue difference, and the mean hue is the other one's.
        fDeltaHPrime = 0.0;
        fHBarPrime = fH1Prime + fH2Prime;
    }
    else
    {
        fDeltaHPrime = fH2Prime - fH1Prime;
        if (fDeltaHPrime > 180.0)
            fDeltaHPrime -= 360.0;
        else if (fDeltaHPrime < -180.0)
            fDeltaHPrime += 360.0;
        double fK = 0.0;
        if (fabs(fH1Prime - fH2Prime) > 180.0) fK = (fH1Prime + fH2Prime < 360.0) ? 360.0 : -360.0;
        fHBarPrime = (fH1Prime + fH2Prime + fK) / 2.0;
    }

    double fCBarPrime = (fC1Prime + fC2Prime) / 2.0;
    double fDeltaBigHPrime = 2.0 * sqrt(fC1Prime * fC2Prime) * sin(fDeltaHPrime * g_fRadiansPerDegree / 2.0);

    double fT = 1.0 - 0.17 * fCosDegrees(fHBarPrime - 30.0) + 0.24 * fCosDegrees(2.0 * fHBarPrime) +
                0.32 * fCosDegrees(3.0 * fHBarPrime + 6.0) - 0.20 * fCosDegrees(4.0 * fHBarPrime - 63.0);

    double fHueOffset = (fHBarPrime - 275.0) / 25.0;
    double fDeltaTheta = 30.0 * exp(-(fHueOffset * fHueOffset));
    double fCBar7 = pow(fCBarPrime, 7.0);
    double fRC = 2.0 * sqrt(fCBar7 / (fCBar7 + g_fPow25To7));

    double fLBar = (fL1 + fL2) / 2.0 - 50.0;
    double fLBar2 = fLBar * fLBar;
    double fSL = 1.0 + 0.015 * fLBar2 / sqrt(fLBar2 + 20.0);
    double fSC = 1.0 + 0.045 * fCBarPrime;
    double fSH = 1.0 + 0.015 * fCBarPrime * fT;

    double fDL = (fL2 - fL1) / fSL;
    double fDC = (fC2Prime - fC1Prime) / fSC;
    double fDH = fDeltaBigHPrime / fSH;
    return fDL * fDL + fDC * fDC + fDH * fDH - sin(2.0 * fDeltaTheta * g_fRadiansPerDegree) * fRC * fDC * fDH;
}
} // namespace

double ciede2000(double fL1, double fA1, double fB1, double fL2, double fA2, double fB2)
{
    return fCIEDE2000WithChroma(fL1, fA1, fB1, hypot(fA1, fB1), fL2, fA2, fB2, hypot(fA2, fB2));
}

double deltaE00_srgb(double fRed1, double fGreen1, double fBlue1, double fRed2, double fGreen2, double fBlue2)
{
    double fL1, fA1, fB1, fL2, fA2, fB2;
    vRGBToLabB(fRed1, fGreen1, fBlue1, &fL1, &fA1, &fB1);
    vRGBToLabB(fRed2, fGreen2, fBlue2, &fL2, &fA2, &fB2);
    return ciede2000(fL1, fA1, fB1, fL2, fA2, fB2);
}

double oklab_distance(double fRed1, double fGreen1, double fBlue1, double fRed2, double fGreen2,
                      double fBlue2)
{
    double fL1, fA1, fB1, fL2, fA2, fB2;
    vRGBToOklab(fRed1, fGreen1, fBlue1, &fL1, &fA1, &fB1);
    vRGBToOklab(fRed2, fGreen2, fBlue2, &fL2, &fA2, &fB2);
    return fSquaredDistance(fL1, fA1, fB1, fL2, fA2, fB2);
}

double fColorDelta(const Color* poColor1, const Color* poColor2, double fExponent, double fScale,
                   tdDeltaMethod eMethod, double fWeight)
{
    // One comparison covers all six channels: the scale is positive, so the
    // largest byte gives the largest normalised value.
    unsigned char ucLargest = poColor1->r;
    if (poColor1->g > ucLargest) ucLargest = poColor1->g;
    if (poColor1->b > ucLargest) ucLargest = poColor1->b;
    if (poColor2->r > ucLargest) ucLargest = poColor2->r;
    if (poColor2->g > ucLargest) ucLargest = poColor2->g;
    if (poColor2->b > ucLargest) ucLargest = poColor2->b;
    const double fInverse = 1.0 / fScale;
    QEV_ASSERT(!(ucLargest * fInverse > 1.0) && "colour channel beyond the channel scale");

    const double r1 = poColor1->r * fInverse;
    const double g1 = poColor1->g * fInverse;
    const double b1 = poColor1->b * fInverse;
    const double r2 = poColor2->r * fInverse;
    const double g2 = poColor2->g * fInverse;
    const double b2 = poColor2->b * fInverse;

    double fDelta = 0.0;
    switch (eMethod)
    {
    case DeltaMethod_RGB:
        fDelta = fSquaredDistance(r1, g1, b1, r2, g2, b2);
        break;
    case DeltaMethod_XYZ:
    case DeltaMethod_LAB:
    case DeltaMethod_CIEDE2000:
    case DeltaMethod_Oklab:
    {
        // The transfer function of byte channels comes from the table: the same
        // doubles as deltaE00_srgb, oklab_distance and rgb2lab compute.
        double af1[3], af2[3];
        vCoordinatesOf(*poColor1, fScale, fInverse, eMethod, af1);
        vCoordinatesOf(*poColor2, fScale, fInverse, eMethod, af2);
        fDelta = eMethod == DeltaMethod_CIEDE2000
                     ? ciede2000(af1[0], af1[1], af1[2], af2[0], af2[1], af2[2])
                     : fSquaredDistance(af1[0], af1[1], af1[2], af2[0], af2[1], af2[2]);
        break;
    }
    case DeltaMethod_Hit9918:
    {
        // Perceived brightness of the gamma-encoded values, not of linear light.
        double fY1 = sqrt(0.299 * r1 * r1 + 0.587 * g1 * g1 + 0.114 * b1 * b1);
        double fY2 = sqrt(0.299 * r2 * r2 + 0.587 * g2 * g2 + 0.114 * b2 * b2);
        double fBrightness = fWeight * (fY1 - fY2);
        fDelta = fSquaredDistance(r1, g1, b1, r2, g2, b2) + fBrightness * fBrightness;
        break;
    }
    default:
        break;
    }
    return fExponent == 1.0 ? fDelta : pow(fDelta, fExponent);
}

int iNearest(Color oColor, const Color* poEntries, unsigned int uiCount, double fScale, tdDeltaMethod eMethod,
             double fWeight)
{
    double fBest = DBL_MAX;
    int iBest = 0;
    for (unsigned int i = 0; i < uiCount; i++)
    {
        double fDelta = fColorDelta(&oColor, &poEntries[i], 1.0, fScale, eMethod, fWeight);
        if (fDelta < fBest)
        {
            fBest = fDelta;
            iBest = static_cast<int>(i);
        }
    }
    return iBest;
}

void vDeltaPoint(Color oColor, double fScale, tdDeltaMethod eMethod, tdDeltaPoint* po)
{
    unsigned char ucLargest = oColor.r;
    if (oColor.g > ucLargest) ucLargest = oColor.g;
    if (oColor.b > ucLargest) ucLargest = oColor.b;
    const double fInverse = 1.0 / fScale;
    QEV_ASSERT(!(ucLargest * fInverse > 1.0) && "colour channel beyond the channel scale");
    const double r = oColor.r * fInverse;
    const double g = oColor.g * fInverse;
    const double b = oColor.b * fInverse;
    double* pf = po->af;
    pf[0] = r;
    pf[1] = g;
    pf[2] = b;
    pf[3] = 0.0;
    pf[4] = 0.0;
    pf[5] = 0.0;
    pf[6] = 0.0;
    pf[7] = 0.0;
    switch (eMethod)
    {
    case DeltaMethod_XYZ:
    case DeltaMethod_LAB:
    case DeltaMethod_Oklab:
        vCoordinatesOf(oColor, fScale, fInverse, eMethod, pf);
        break;
    case DeltaMethod_CIEDE2000:
        vCoordinatesOf(oColor, fScale, fInverse, eMethod, pf);
        pf[3] = hypot(pf[1], pf[2]);
        pf[4] = fHueDegrees(pf[2], pf[1], pf[3]);
        pf[5] = fHueDegrees(pf[2], 1.5 * pf[1], pf[3]);
        pf[6] = 1.0 / ((1.0 + 0.0675 * pf[3]) * (1.0 + 0.0675 * pf[3]));
        pf[7] = uiCIEDE2000HueWindows(*po);
        break;
    case DeltaMethod_Hit9918:
        pf[3] = sqrt(0.299 * r * r + 0.587 * g * g + 0.114 * b * b);
        break;
    default:
        break;
    }
}

double fPointDelta(const tdDeltaPoint& o1, const tdDeltaPoint& o2, tdDeltaMethod eMethod, double fWeight)
{
    const double* pf1 = o1.af;
    const double* pf2 = o2.af;
    switch (eMethod)
    {
    case DeltaMethod_RGB:
    case DeltaMethod_XYZ:
    case DeltaMethod_LAB:
    case DeltaMethod_Oklab:
        return fPointSquaredDistance(o1, o2);
    case DeltaMethod_CIEDE2000:
        return fCIEDE2000WithChroma(pf1[0], pf1[1], pf1[2], pf1[3], pf2[0], pf2[1], pf2[2], pf2[3]);
    case DeltaMethod_Hit9918:
    {
        double fBrightness = fWeight * (pf1[3] - pf2[3]);
        return fSquaredDistance(pf1[0], pf1[1], pf1[2], pf2[0], pf2[1], pf2[2]) + fBrightness * fBrightness;
    }
    default:
        return 0.0;
    }
}

namespace
{
// Distance of 275 from the range fLow..fHigh.
inline double fDistanceFrom275(double fLow, double fHigh)
{
    return fLow > 275.0 ? fLow - 275.0 : (fHigh < 275.0 ? 275.0 - fHigh : 0.0);
}

// An upper bound of |sin(2 dTheta)| in ciede2000 for the two colours. Each
// colour's hue h' lies between its hues for G = 1 and G = 1.5 (both in one
// quadrant, as G scales a only). ciede2000's mean hue is (h1 + h2) / 2 when
// |h1 - h2| <= 180, else (h1 + h2 + 360) / 2 when h1 + h2 < 360, else
// (h1 + h2 - 360) / 2; over the two hue ranges each possible case gives a range,
// and the least distance D of those ranges from 275 limits dTheta =
// 30 exp(-(D / 25)^2) degrees, so sin(2 dTheta) <= 2 dTheta in radians. Greys
// (hue 0 by convention, mean hue the other's) and hue ranges at the 0/360 seam
// keep the general bound sin(60 degrees).
double fMaxRotationSine(const tdDeltaPoint& o1, const tdDeltaPoint& o2)
{
    const double fGeneral = 0.8660254037844387;
    if (!(o1.af[3] > 1e-9 && o2.af[3] > 1e-9)) return fGeneral;
    double fL1 = std::min(o1.af[4], o1.af[5]);
    double fU1 = std::max(o1.af[4], o1.af[5]);
    double fL2 = std::min(o2.af[4], o2.af[5]);
    double fU2 = std::max(o2.af[4], o2.af[5]);
    if (fL1 < 0.001 || fU1 > 359.999 || fL2 < 0.001 || fU2 > 359.999) return fGeneral;
    double fSumLow = fL1 + fL2;
    double fSumHigh = fU1 + fU2;
    double fDiffLow = std::max(0.0, std::max(fL1 - fU2, fL2 - fU1)); // least |h1 - h2|
    double fDiffHigh = std::max(fU1 - fL2, fU2 - fL1);               // largest |h1 - h2|
    // The case tests allow for the rounding of ciede2000's own hues.
    const double fSlack = 1e-6;
    double fD = 360.0;
    if (fDiffLow <= 180.0 + fSlack) fD = std::min(fD, fDistanceFrom275(fSumLow / 2.0, fSumHigh / 2.0));
    if (fDiffHigh > 180.0 - fSlack && fSumLow < 360.0 + fSlack)
        fD = std::min(fD,
                      fDistanceFrom275((fSumLow + 360.0) / 2.0, (std::min(fSumHigh, 360.0) + 360.0) / 2.0));
    if (fDiffHigh > 180.0 - fSlack && fSumHigh >= 360.0 - fSlack)
        fD = std::min(fD,
                      fDistanceFrom275((std::max(fSumLow, 360.0) - 360.0) / 2.0, (fSumHigh - 360.0) / 2.0));
    fD = fD > fSlack ? (fD - fSlack) / 25.0 : 0.0;
    return std::min(fGeneral, 1.0471975511965976 * exp(-(fD * fD)) * (1.0 + 1e-9));
}
} // namespace

namespace
{
tdCIEDE2000BoundTables oMakeBoundTables()
{
    tdCIEDE2000BoundTables o;
    // Each factor is taken a little low (relative 1e-12) beyond its own rounding.
    const double fLow = 1.0 - 1e-12;
    for (int i = 0; i < 511; i++)
    {
        // SL grows with |mean - 50|: its largest over the quarter is at an end.
        double fLBar = std::max(fabs(i / 4.0 - 50.0), fabs((i + 1) / 4.0 - 50.0)) + 1e-9;
        double fLBar2 = fLBar * fLBar;
        double fSL = (1.0 + 0.015 * fLBar2 / sqrt(fLBar2 + 20.0)) * (1.0 + 1e-12);
        o.afLightness[i] = fLow / (fSL * fSL);
    }
    o.afLightness[511] = 0.0;
    for (int i = 0; i < 1023; i++)
    {
        // G C grows with C (its derivative is 1.5 - 2.25 s + 1.75 s^3 > 0.5 for
        // s = sqrt(C^7 / (C^7 + 25^7))), and C'bar <= G Cbar as G >= 1.
        double fC = (i + 1) / 4.0 + 1e-9;
        double fC7 = pow(fC, 7.0);
        double fG = 1.0 + 0.5 * (1.0 - sqrt(fC7 / (fC7 + g_fPow25To7)));
        double fCPrime = fG * fC * (1.0 + 1e-12);
        double fCPrime7 = pow(fCPrime, 7.0);
        double fRC = 2.0 * sqrt(fCPrime7 / (fCPrime7 + g_fPow25To7)) * (1.0 + 1e-12);
        double fK = 1.0 - fRC * 0.8660254037844387 * (1.0 + 1e-12) / 2.0;
        double fSC = (1.0 + 0.045 * fCPrime) * (1.0 + 1e-12);
        o.afChroma[i] = fK > 0.0 ? fLow * fK / (fSC * fSC) : 0.0;
        // 2 dTheta in radians bounds sin(2 dTheta): 60 exp(-5.76) degrees.
        double fKAway = 1.0 - fRC * (0.0033 / 2.0);
        o.afChromaAway[i] = fLow * fKAway / (fSC * fSC);
        o.afG2[i] = fLow * fG * fG;
    }
    o.afChroma[1023] = 0.0;
    o.afChromaAway[1023] = 0.0;
    o.afG2[1023] = 1.0;
    return o;
}
} // namespace

unsigned int uiCIEDE2000HueWindows(const tdDeltaPoint& o)
{
    if (!(o.af[3] > 1e-9)) return 0;
    const double fLow = std::min(o.af[4], o.af[5]);
    const double fHigh = std::max(o.af[4], o.af[5]);
    unsigned int ui = 0;
    if (fLow >= 35.01 && fHigh <= 214.99) ui |= 1;
    if ((fLow >= 335.01 && fHigh < 360.0) || (fLow >= 0.0 && fHigh <= 154.99)) ui |= 2;
    return ui;
}

const tdCIEDE2000BoundTables& oCIEDE2000BoundTables()
{
    static const tdCIEDE2000BoundTables s_oTables = oMakeBoundTables();
    return s_oTables;
}

double fCIEDE2000LowerBound(const tdDeltaPoint& o1, const tdDeltaPoint& o2, double fLimit)
{
    // Each stage is a bound by itself; a later one only adds what an earlier one
    // left out, so the cheap stages end the work whenever they pass fLimit.
    const double fKeep = 1.0 - 1e-9; // with the absolute margin of 1e-6
    double fLBar = (o1.af[0] + o2.af[0]) / 2.0 - 50.0;
    double fLBar2 = fLBar * fLBar;
    double fSL = 1.0 + 0.015 * fLBar2 / sqrt(fLBar2 + 20.0);
    double fDL = (o2.af[0] - o1.af[0]) / fSL;
    double fLightness = fDL * fDL;
    if (fLightness * fKeep - 1e-6 > fLimit) return fLightness * fKeep - 1e-6;

    double fCBar = (o1.af[3] + o2.af[3]) / 2.0;
    double fC2 = fCBar * fCBar;
    double fM = fC2 * fC2 * fC2 * fCBar;
    double fG = 1.0 + 0.5 * (1.0 - sqrt(fM / (fM + g_fPow25To7)));
    double fA1 = o1.af[1] * fG;
    double fA2 = o2.af[1] * fG;
    double fC1Prime = sqrt(fA1 * fA1 + o1.af[2] * o1.af[2]);
    double fC2Prime = sqrt(fA2 * fA2 + o2.af[2] * o2.af[2]);
    double fCBarPrime = (fC1Prime + fC2Prime) / 2.0;
    double fSC = 1.0 + 0.045 * fCBarPrime;
    double fSHMax = 1.0 + 0.015 * 1.93 * fCBarPrime;
    double fDC = fC2Prime - fC1Prime;
    double fDA = fA2 - fA1;
    double fDB = o2.af[2] - o1.af[2];
    double fDH2 = fDA * fDA + fDB * fDB - fDC * fDC; // dH'^2
    if (fDH2 < 0.0) fDH2 = 0.0;
    double fChroma = fDC * fDC / (fSC * fSC) + fDH2 / (fSHMax * fSHMax);
    double fBound = (fLightness + 0.1339 * fChroma) * fKeep - 1e-6;
    if (fBound > fLimit) return fBound;

    double fCBarPrime2 = fCBarPrime * fCBarPrime;
    double fCBarPrime7 = fCBarPrime2 * fCBarPrime2 * fCBarPrime2 * fCBarPrime;
    double fRC = 2.0 * sqrt(fCBarPrime7 / (fCBarPrime7 + g_fPow25To7));
    double fK = 1.0 - fRC * fMaxRotationSine(o1, o2) / 2.0;
    return std::max(fBound, (fLightness + fK * fChroma) * fKeep - 1e-6);
}
