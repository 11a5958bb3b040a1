#pragma once

// The decoders behind RECOIL_Decode, one per format family. Each receives the
// whole file and the variant number of its row in the extension table
// (recoil.cpp), validates the contents before it allocates, and returns true
// with the picture in *poPicture, or false (the caller then empties *poPicture).
// Every decoder delivers square pixels: formats shown with wide or tall pixels are
// magnified by whole factors, as each decoder's file comment says.

#include "retro/retro_picture.h"

// The extensions RECOIL_Decode recognises, without the dot, by index from 0; null
// past the last (recoil.cpp). For file dialogs and help texts.
const char* pszRetroExtension(int iIndex);

typedef bool (*tdRetroDecoder)(const unsigned char* pucContent, int iLength, int iVariant,
                               tdRetroPicture* poPicture);

// format_zx.cpp: ZX Spectrum screen (.scr).
bool bDecodeSpectrumScreen(const unsigned char* pucContent, int iLength, int iVariant,
                           tdRetroPicture* poPicture);

// format_c64.cpp: Commodore 64 Koala Painter (multicolour) and the hires bitmaps
// of Doodle and Art Studio (variant: one of the tdC64Hires values).
enum tdC64Hires
{
    C64Hires_Doodle = 0,
    C64Hires_ArtStudio = 1,
};
bool bDecodeKoala(const unsigned char* pucContent, int iLength, int iVariant, tdRetroPicture* poPicture);
bool bDecodeC64Hires(const unsigned char* pucContent, int iLength, int iVariant, tdRetroPicture* poPicture);

// format_atari_st.cpp: Degas (variant 0) and Degas Elite compressed (variant 1),
// NEOchrome, Spectrum 512 (variant 0) and Spectrum 512 compressed (variant 1).
bool bDecodeDegas(const unsigned char* pucContent, int iLength, int iVariant, tdRetroPicture* poPicture);
bool bDecodeNEOchrome(const unsigned char* pucContent, int iLength, int iVariant, tdRetroPicture* poPicture);
bool bDecodeSpectrum512(const unsigned char* pucContent, int iLength, int iVariant,
                        tdRetroPicture* poPicture);

// format_iff.cpp: IFF ILBM and PBM (Amiga and Deluxe Paint).
bool bDecodeIFF(const unsigned char* pucContent, int iLength, int iVariant, tdRetroPicture* poPicture);

// format_pcx.cpp: PC Paintbrush.
bool bDecodePCX(const unsigned char* pucContent, int iLength, int iVariant, tdRetroPicture* poPicture);

// format_mac_gem.cpp: MacPaint and GEM bit images.
bool bDecodeMacPaint(const unsigned char* pucContent, int iLength, int iVariant, tdRetroPicture* poPicture);
bool bDecodeGEM(const unsigned char* pucContent, int iLength, int iVariant, tdRetroPicture* poPicture);

// format_msx.cpp: MSX BSAVE screen dumps; the variant is the MSX screen number.
bool bDecodeMSXDump(const unsigned char* pucContent, int iLength, int iVariant, tdRetroPicture* poPicture);
