#pragma once

#include <cstdint>

// One colour with alpha. Packed into 32 bits where it travels by value: red in
// bits 0-7, green 8-15, blue 16-23, alpha 24-31, which is also its byte order in
// memory. Alpha 255 is opaque; nothing in the core blends alpha.
struct Color
{
    unsigned char r;
    unsigned char g;
    unsigned char b;
    unsigned char a;
};
static_assert(sizeof(Color) == 4, "Color must stay four packed bytes");

// An integer rectangle in picture coordinates, row 0 at the top.
struct tdRectangle
{
    int32_t iX;
    int32_t iY;
    int32_t iWidth;
    int32_t iHeight;
};

// The conversion error of an encoder or writer: root-mean-square error of red,
// green and blue over the converted picture, 0..255 each. All zero when nothing
// was encoded.
struct tdErrorTriple
{
    double fRed;
    double fGreen;
    double fBlue;
};
