#pragma once

// The EXIF orientation tag: how the stored rows are to be turned so that the
// picture shows upright. 1 is "as stored"; 2 mirrors left to right; 3 turns by
// 180 degrees; 4 mirrors top to bottom; 5 mirrors along the main diagonal
// (transpose); 6 turns a quarter clockwise; 7 mirrors along the other diagonal;
// 8 turns a quarter counter-clockwise.

#include "qev/base/image.h"

#include <cstddef>

// The orientation an EXIF block gives: the block as JPEG's APP1 segment carries
// it ("Exif\0\0" and TIFF data) or as PNG's eXIf chunk does (TIFF data alone).
// 1 when the block holds no orientation, an out-of-range one, or cannot be read.
int iExifOrientation(const unsigned char* pucData, size_t uiSize);

// A new picture (the caller owns it) showing poImage turned as the orientation
// says, with the pixel aspect ratio inverted by the quarter turns; null for
// orientation 1, an unknown one, or when memory runs out.
Image* poOrientedCopy(const Image* poImage, int iOrientation);
