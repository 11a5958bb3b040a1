#pragma once

#include "qev/base/color.h"
#include "qev/base/image.h"
#include "qev/base/settings.h"

#include <cstdio>

class Palette;

// Video memory size of the MSX2 video chip.
constexpr int g_iVRAMSize = 0x20000;

// The MSX2/MSX2+ video chip, far enough to turn video memory back into a picture.
//
// Video-memory layouts (hexadecimal addresses, lines counted from the top, bit 7
// the most significant):
//   Screen 2   patterns 0000-17FF, names 1800-1AFF, colours 2000-37FF, palette 1B80.
//              Three thirds of 64 lines; pattern byte of line y, pattern p:
//              0800*(y/64) + 8p + y%8 (bit 7 leftmost; set = colour high nibble).
//   Screen 4   as Screen 2, with sprite mode 2: sprite colours 1C00, sprite
//              attributes 1E00, palette 1E80.
//   Screen 3   patterns 0000-05FF, palette 2020; block (x, y) of 64 x 48 at
//              256*(y/8) + 8*(x/2) + y%8, high nibble for even x.
//   Screen 5   0000-69FF, 128 bytes a line, left pixel in the high nibble; palette 7680.
//   Screen 6   0000-69FF, 128 bytes a line, 4 pixels a byte from bits 7-6; palette 7680.
//   Screen 7   0000-D3FF, 256 bytes a line, left pixel in the high nibble; palette FA80.
//   Screen 8   0000-D3FF, one byte a pixel: green bits 7-5, red 4-2, blue 1-0.
//   Screen 12  0000-D3FF, groups of four bytes: Y in bits 7-3 of each; bits 2-0 of
//              bytes 0, 1 hold K (low, high), of bytes 2, 3 J; J, K 6-bit signed.
//   Screen 10  as Screen 12, but bit 3 set shows palette colour byte >> 4; palette FA80.
// Interlaced (424-line) pictures keep even lines in page 0 and odd lines in page 1,
// which starts at 8000 (128-byte lines) or 10000 (256-byte lines).
//
// Palette register format, two bytes a colour: first byte red in bits 6-4 and blue
// in bits 2-0, second byte green in bits 2-0.
class VDP
{
public:
    Color* m_poPalette;       // 16 entries, owned
    unsigned char* m_pucVRAM; // g_iVRAMSize bytes, owned

    VDP();
    ~VDP();
    VDP(const VDP&) = delete;
    VDP& operator=(const VDP&) = delete;

    // Clears video memory and writes the default palette at 7680 and FA80; the
    // palette entries are not touched.
    void vReset();

    // The byte of address iAddress of a 424-line picture stored line after line with
    // iLineBytes (128 or 256) bytes a line, through the page interleave; for any
    // other line length the byte at iAddress itself. 0 outside video memory.
    unsigned char cGetVRAM(int iAddress, int iLineBytes) const;

    // Decode iCount colours in register format into palette entries 0..iCount-1
    // (iCount is held to 0..16). A given palette receives the same colours, the count
    // iCount and then vResize(16). The file reader reads from the current position;
    // colours the file does not hold keep their entries.
    void vReadPaletteFromVRAM(int iAddress, int iCount, Palette* poPalette);
    void vReadPaletteFromFile(FILE* poFile, int iCount, Palette* poPalette);

    // New pictures (caller owns), texel size 3: 256x192, 64x48, 256x212 or 512x212
    // (424 lines interlaced). Screen 4 shows its tables as Screen 2 does.
    Image* poGetScreen2Image() const;
    Image* poGetScreen3Image() const;
    Image* poGetScreen5Image(bool bInterlaced, bool bPageInterleave) const;
    Image* poGetScreen6Image(bool bInterlaced, bool bPageInterleave) const;
    Image* poGetScreen7Image(bool bInterlaced, bool bPageInterleave) const;
    Image* poGetScreen8Image(bool bInterlaced, bool bPageInterleave) const;
    // Screen 10 data.
    Image* poGetScreen11Image(bool bInterlaced, tdYJK2RGBInterpolation eInterpolation,
                              bool bPageInterleave) const;
    Image* poGetScreen12Image(bool bInterlaced, tdYJK2RGBInterpolation eInterpolation,
                              bool bPageInterleave) const;

private:
    unsigned char cGetByte(int iAddress, int iLineBytes, bool bPageInterleave) const;
    Image* poGetNibbleImage(int iWidth, bool bInterlaced, bool bPageInterleave) const;
    Image* poGetYJKImage(bool bInterlaced, tdYJK2RGBInterpolation eInterpolation, bool bPageInterleave,
                         bool bAttribute) const;
};

// Decodes four-pixel group iGroup (0..63) of the 256-byte line at pucLine into
// aoOut[0..3] (red, green, blue; alpha untouched), with the chroma interpolated over
// the neighbouring groups of the line.
void updateYJK(const unsigned char* pucLine, int iGroup, Color* aoOut, tdYJK2RGBInterpolation eInterpolation);

// The default palette in register format, 32 bytes.
extern const unsigned char g_acDefaultPalette[32];

// VDP register triples (register, value, mask of the bits the value governs).
extern const unsigned char g_acScreen2Regs[18];
extern const unsigned char g_acScreen3Regs[18];
extern const unsigned char g_acScreen4Regs[21];
extern const unsigned char g_acScreen5Regs[15];
extern const unsigned char g_acScreen6Regs[15];
extern const unsigned char g_acScreen7Regs[15];
extern const unsigned char g_acScreen8Regs[15];
extern const unsigned char g_acScreen10Regs[18];
extern const unsigned char g_acScreen12Regs[18];

// YJK chroma interpolation weights, 16.16 fixed point, by mode and pixel, for the
// groups at offsets -3..+3.
extern const int g_aiYJKWeights[4][4][7];

// Channel expansion: 3-bit levels, Screen 8's 2-bit blue, YJK's 5-bit values.
unsigned char cExpand3(int iLevel);
unsigned char cExpand2(int iLevel);
unsigned char cExpand5(int iValue);
