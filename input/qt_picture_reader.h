#pragma once

// The modern formats the core has no reader of (GIF, BMP, TIFF, WebP, PNM, ICO,
// XPM, XBM), decoded by Qt's image readers. A plain C interface, so that a
// program without Qt of its own can load it at run time from a module.

#include <cstddef>

// A decoded picture: texels of iTexelSize bytes (3 RGB, 4 RGBA), rows stored
// bottom first (the core's layout), in a malloc'ed buffer the receiver frees.
struct tdQtPicture
{
    int iWidth;
    int iHeight;
    int iTexelSize;
    double fAspectRatio; // pixel width / height from the resolution fields, 1.0 without
    unsigned char* pucTexels;
    char acError[160]; // why decoding failed, when it did
};

// Decodes the file puc[0..uiSize) with the one Qt reader of pszFormat (a Qt
// format name: "gif", "bmp", "tiff", "webp", "pbm", "pgm", "ppm", "ico", "xpm",
// "xbm"); no other reader or plugin is asked, whatever the contents. Animated
// files give their first frame; the EXIF orientation is applied and an embedded
// colour profile converted to sRGB. Qt allocates at most lMaxBytes. True with
// *po filled, or false with po->acError set and no buffer.
extern "C" bool bReadPictureWithQt(const unsigned char* puc, size_t uiSize, const char* pszFormat,
                                   long long lMaxBytes, tdQtPicture* po);

// The name of the function above, for a module loader.
#define QEV_QT_READER_SYMBOL "bReadPictureWithQt"
typedef bool (*tdQtPictureReader)(const unsigned char*, size_t, const char*, long long, tdQtPicture*);
