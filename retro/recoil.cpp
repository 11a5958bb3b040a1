// The six RECOIL calls over the program's own decoders, and the extension table
// that recognises a file by its name.

#include "retro/recoil.h"

#include "retro/retro_formats.h"

#include <cstring>
#include <new>
#include <strings.h>

struct RECOIL
{
    tdRetroPicture m_oPicture;
};

namespace
{
struct tdRetroFormat
{
    const char* pszExtension; // without the dot, compared without regard to case
    tdRetroDecoder pfnDecode;
    int iVariant;
};
} // namespace

// Every extension RECOIL_Decode recognises. None of the program's own reader
// names appears here (recoil.h lists them).
// clang-format off
//  extension  decoder                variant
static const tdRetroFormat g_aoRetroFormats[] = {
    {"scr",   bDecodeSpectrumScreen, 0},
    {"koa",   bDecodeKoala,          0},
    {"kla",   bDecodeKoala,          0},
    {"dd",    bDecodeC64Hires,       C64Hires_Doodle},
    {"art",   bDecodeC64Hires,       C64Hires_ArtStudio},
    {"ocp",   bDecodeC64Hires,       C64Hires_ArtStudio},
    {"pi1",   bDecodeDegas,          0},
    {"pi2",   bDecodeDegas,          0},
    {"pi3",   bDecodeDegas,          0},
    {"pc1",   bDecodeDegas,          1},
    {"pc2",   bDecodeDegas,          1},
    {"pc3",   bDecodeDegas,          1},
    {"neo",   bDecodeNEOchrome,      0},
    {"spu",   bDecodeSpectrum512,    0},
    {"spc",   bDecodeSpectrum512,    1},
    {"iff",   bDecodeIFF,            0},
    {"ilbm",  bDecodeIFF,            0},
    {"lbm",   bDecodeIFF,            0},
    {"pcx",   bDecodePCX,            0},
    {"mac",   bDecodeMacPaint,       0},
    {"pntg",  bDecodeMacPaint,       0},
    {"img",   bDecodeGEM,            0},
    {"ximg",  bDecodeGEM,            0},
    {"grp",   bDecodeMSXDump,        2},
    {"ge5",   bDecodeMSXDump,        5},
    {"ge6",   bDecodeMSXDump,        6},
    {"ge7",   bDecodeMSXDump,        7},
    {"ge8",   bDecodeMSXDump,        8},
};
// clang-format on

const char* pszRetroExtension(int iIndex)
{
    const int iCount = static_cast<int>(sizeof(g_aoRetroFormats) / sizeof(g_aoRetroFormats[0]));
    return iIndex >= 0 && iIndex < iCount ? g_aoRetroFormats[iIndex].pszExtension : nullptr;
}

// The row for the name's last extension (after the last "." that follows the
// last "/"), or null.
static const tdRetroFormat* poFindFormat(const char* pszName)
{
    if (!pszName) return nullptr;
    const char* pszSlash = strrchr(pszName, '/');
    const char* pszDot = strrchr(pszName, '.');
    if (!pszDot || (pszSlash && pszDot < pszSlash)) return nullptr;
    for (const tdRetroFormat& oFormat : g_aoRetroFormats)
        if (strcasecmp(pszDot + 1, oFormat.pszExtension) == 0) return &oFormat;
    return nullptr;
}

RECOIL* RECOIL_New(void)
{
    return new (std::nothrow) RECOIL();
}

void RECOIL_Delete(RECOIL* self)
{
    delete self;
}

bool RECOIL_Decode(RECOIL* self, const char* filename, uint8_t const* content, int contentLength)
{
    if (!self) return false;
    self->m_oPicture.vClear();
    const tdRetroFormat* poFormat = poFindFormat(filename);
    if (!poFormat || !content || contentLength <= 0) return false;
    if (poFormat->pfnDecode(content, contentLength, poFormat->iVariant, &self->m_oPicture)) return true;
    self->m_oPicture.vClear();
    return false;
}

int RECOIL_GetWidth(const RECOIL* self)
{
    return self ? self->m_oPicture.m_iWidth : 0;
}

int RECOIL_GetHeight(const RECOIL* self)
{
    return self ? self->m_oPicture.m_iHeight : 0;
}

const int* RECOIL_GetPixels(const RECOIL* self)
{
    return self ? self->m_oPicture.m_piPixels : nullptr;
}

bool RECOIL_IsOurFile(const char* filename)
{
    return poFindFormat(filename) != nullptr;
}
