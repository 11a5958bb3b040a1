#pragma once

#include "qev/base/color.h"
#include "qev/base/settings.h"

// The largest width or height of any picture the program builds. Pictures of at
// most 16384 x 16384 texels of at most 4 bytes fit a 32-bit signed size (1 GiB);
// readers refuse anything larger before they allocate.
constexpr int g_iMaxImageDimension = 16384;

// True when a picture of this size can be built: width and height 1..16384 and a
// texel size 1..4.
bool bImageSizeValid(long long lWidth, long long lHeight, int iTexelSize);

// The most memory one read of a picture file may use, the decoding libraries'
// own buffers included; readers estimate it from the declared size and refuse
// beyond it before decoding.
constexpr long long g_lMaxReadBytes = 2LL << 30;

// Pictures up to this many pixels are decoded whatever their file's size: a
// few milliseconds and megabytes even when decoded from nothing.
constexpr long long g_lPixelsWithoutDensityCheck = 1LL << 22;

// True when lBytes of a file could hold lPixels: at most lPixelsPerByte pixels
// per byte, the densest encoding of the format, or a small picture; a negative
// lBytes (a size the stream cannot tell) fits. Checked before decoding, so that
// a few bytes declaring a huge picture cost nothing.
bool bPixelsFitBytes(long long lPixels, long long lBytes, long long lPixelsPerByte);

// An in-memory picture of 1 to 4 bytes per texel: 1 grey, 2 grey + alpha, 3 RGB,
// 4 RGBA.
//
// Texel layout: rows are stored bottom-up. The texel of pixel (x, y), row 0 at the
// top, starts at byte ((m_iHeight - 1 - y) * m_iWidth + x) * m_iTexelSize; within
// a texel grey or red, green, blue come first, alpha last.
//
// A picture whose buffer could not be built (a size beyond the limit above, or an
// allocation failure) is 0 x 0 with no buffer; every operation accepts it.
class Image
{
public:
    int m_iWidth;
    int m_iHeight;
    int m_iTexelSize;
    unsigned char* m_pucTexels; // owned
    double m_fAspectRatio;      // displayed pixel width / height
    tdDitheringMode m_eDitheringMode;
    int* m_piBayerMatrix;     // 4, 16 or 64 offsets, owned; null without ordered dither
    int m_iBayerLowThreshold; // channel values low..high (0..255) receive the offset
    int m_iBayerHighThreshold;

    explicit Image(double fAspectRatio);
    Image(int iWidth, int iHeight, int iTexelSize, tdBackgroundType eBackground, double fAspectRatio);
    ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    // A new picture with the same size, texel bytes and aspect ratio, without the
    // dither state. The caller owns it.
    Image* poCopy() const;

    // Writes are ignored outside the picture; no dither is applied.
    void vSetPixel(int iX, int iY, const Color* poColor);
    // Reads outside the picture give opaque black; the ordered dither applies to
    // every read, the black included.
    Color oGetPixel(int iX, int iY) const;

    void vBlit(const Image* poSource, int iX, int iY);
    void vCrop(int iWidth, int iHeight);
    void vRGBToBGR();
    long lGetUniqueColorsUsed() const;

    void vScale(int iWidth, int iHeight, tdResizeFilter eFilter);
    void vScale(int iWidth, int iHeight);
    void vScaleNearest(int iWidth, int iHeight);
    void vScaleLinear(int iWidth, int iHeight);
    void vScaleBox(int iWidth, int iHeight);
    void vScaleBicubic(int iWidth, int iHeight);

    // Places the picture in a W x H canvas of texel size 3 and pixel aspect ratio A
    // by the fit mode; *poRect (may be null) receives the visible part of the placed
    // picture in canvas coordinates.
    void vFit(int iWidth, int iHeight, double fAspectRatio, tdFitMode eFitMode, tdResizeFilter eFilter,
              tdRectangle* poRect, tdBackgroundType eBackground, int iHShift);
    void vSetDitheringMode(tdDitheringMode eMode, double fFactor, double fLowThreshold,
                           double fHighThreshold);

private:
    // Takes over poOther's buffer and size; poOther becomes empty.
    void vTakeTexels(Image* poOther);
    void vReplaceTexels(unsigned char* pucTexels, int iWidth, int iHeight);
    void vFill(tdBackgroundType eBackground);
};

// Where vFit places a w x h picture of pixel aspect ratio fAspectRatio in a
// W x H canvas of ratio fCanvasAspectRatio (before any horizontal shift), in
// canvas pixels: the rectangle its scaled pixels cover, which may reach past the
// canvas. For tools that map a canvas point back to the picture.
tdRectangle oGetFitRectangle(int w, int h, double fAspectRatio, int W, int H, double fCanvasAspectRatio,
                             tdFitMode eFitMode);

// The pixels a palette histogram reads from poRect (null: the whole picture): x and y
// from max(0, x), max(0, y), width and height at most the picture's (pixels of the
// area beyond the picture read as black), and every coordinate, plus iMargin for
// x, within int.
struct tdReadArea
{
    long long lX;
    long long lY;
    long long lWidth;
    long long lHeight;
};
tdReadArea oGetReadArea(const Image* poImage, const tdRectangle* poRect, int iMargin);
