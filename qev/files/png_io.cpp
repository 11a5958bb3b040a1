// PNG files through libpng.
//
// libpng reports errors by long jump. A long jump over a C++ object with a
// destructor is undefined, so each setjmp frame below lives in a small function
// whose locals are plain data; its caller owns and frees the buffers, which the
// frame records in a plain struct.

#include "qev/files/png_io.h"

#include "qev/base/dynamic_array.h"
#include "qev/base/report.h"
#include "qev/files/exif_orientation.h"
#include "qev/files/icc_profile.h"
#include "qev/files/stream_bytes.h"
#include "qev/msx/pipeline.h"

#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <png.h>

namespace
{
// Everything a PNG read allocates, so that the caller frees it after a long jump.
// The library's error pointer and input pointer point here.
struct tdPNGRead
{
    FILE* poFile;
    png_structp psPNG;
    png_infop psInfo;
    Image* poImage;
    png_bytepp ppucRows;
    int iOrientation;       // of the EXIF chunk, 1 without
    const char* pszProblem; // set when the reader refuses the file without a library error
    long long lFileBytes;   // the bytes after the stream's position, -1 when unknown
    bool bDataEndedEarly;   // the file or the picture data ended before the picture did
};
} // namespace

static const char g_szTruncated[] = "the file ends before the picture does";

static void vPNGError(png_structp psPNG, png_const_charp pszMessage)
{
    fprintf(stderr, "Pnglib error: %s (PNG)\n", pszMessage);
    png_longjmp(psPNG, 1);
}

// libpng only warns when the compressed data stops short of the picture and
// leaves the remaining rows as they were: that is a truncated file too.
static void vPNGWarning(png_structp psPNG, png_const_charp pszMessage)
{
    fprintf(stderr, "Pnglib warning: %s (PNG)\n", pszMessage);
    if (strstr(pszMessage, "Not enough image data") || strstr(pszMessage, "Truncated"))
        static_cast<tdPNGRead*>(png_get_error_ptr(psPNG))->bDataEndedEarly = true;
}

static void vPNGReadFromFile(png_structp psPNG, png_bytep pucData, png_size_t uiLength)
{
    tdPNGRead* poRead = static_cast<tdPNGRead*>(png_get_io_ptr(psPNG));
    if (fread(pucData, 1, uiLength, poRead->poFile) != uiLength)
    {
        poRead->bDataEndedEarly = true;
        png_error(psPNG, "file ends early");
    }
}

// The setjmp frame of the reader. Returns true with poRead->poImage filled.
static bool bReadPNG(tdPNGRead* poRead)
{
    png_structp psPNG = poRead->psPNG;
    png_infop psInfo = poRead->psInfo;
    if (setjmp(png_jmpbuf(psPNG))) return false;

    png_set_read_fn(psPNG, poRead, vPNGReadFromFile);
    png_read_info(psPNG, psInfo);
    // Deflate turns a byte into at most 1032: rows (with their filter bytes) of
    // more than 1032 times the file's bytes cannot be in it. (Sizes beyond the
    // limit are refused for that below.)
    const long long lRawBytes = static_cast<long long>(png_get_image_height(psPNG, psInfo)) *
                                (1 + static_cast<long long>(png_get_rowbytes(psPNG, psInfo)));
    if (bImageSizeValid(png_get_image_width(psPNG, psInfo), png_get_image_height(psPNG, psInfo), 1) &&
        !bPixelsFitBytes(lRawBytes, poRead->lFileBytes, 1032))
    {
        poRead->pszProblem = g_szTruncated;
        return false;
    }

    int iBitDepth = png_get_bit_depth(psPNG, psInfo);
    int iColorType = png_get_color_type(psPNG, psInfo);
    if (iColorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(psPNG);
    if (iColorType == PNG_COLOR_TYPE_GRAY && iBitDepth < 8) png_set_expand_gray_1_2_4_to_8(psPNG);
    if (png_get_valid(psPNG, psInfo, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(psPNG);
    // A gamma clearly away from sRGB's (about 1/2.2) with no profile or sRGB chunk to
    // say better: the samples are brought to sRGB's gamma.
    double fFileGamma = 0.0;
    if (!png_get_valid(psPNG, psInfo, PNG_INFO_sRGB) && !png_get_valid(psPNG, psInfo, PNG_INFO_iCCP) &&
        png_get_gAMA(psPNG, psInfo, &fFileGamma) && fFileGamma > 0.0 && fabs(fFileGamma * 2.2 - 1.0) > 0.1)
        png_set_gamma(psPNG, PNG_DEFAULT_sRGB, fFileGamma);
    if (iBitDepth == 16)
        png_set_strip_16(psPNG);
    else if (iBitDepth < 8)
        png_set_packing(psPNG);
    png_set_interlace_handling(psPNG);
    png_read_update_info(psPNG, psInfo);

    png_uint_32 uiWidth = png_get_image_width(psPNG, psInfo);
    png_uint_32 uiHeight = png_get_image_height(psPNG, psInfo);
    iColorType = png_get_color_type(psPNG, psInfo);
    png_uint_32 uiXPerUnit = 1;
    png_uint_32 uiYPerUnit = 1;
    int iUnit = 0;
    if (png_get_valid(psPNG, psInfo, PNG_INFO_pHYs))
        png_get_pHYs(psPNG, psInfo, &uiXPerUnit, &uiYPerUnit, &iUnit);

    int iTexelSize;
    switch (iColorType)
    {
    case PNG_COLOR_TYPE_GRAY:
        iTexelSize = 1;
        break;
    case PNG_COLOR_TYPE_RGB:
        iTexelSize = 3;
        break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        iTexelSize = 2;
        break;
    default:
        if (iColorType != PNG_COLOR_TYPE_RGB_ALPHA) fprintf(stderr, "Unhandled PNG format");
        iTexelSize = 4;
        break;
    }
    if (!bImageSizeValid(uiWidth, uiHeight, iTexelSize))
    {
        poRead->pszProblem = "picture size beyond 16384 x 16384";
        return false;
    }
    // The rows must be exactly what the picture holds, whatever the library made of them.
    if (png_get_rowbytes(psPNG, psInfo) != static_cast<size_t>(uiWidth) * iTexelSize)
    {
        poRead->pszProblem = "unsupported pixel format";
        return false;
    }

    poRead->poImage =
        new Image(static_cast<int>(uiWidth), static_cast<int>(uiHeight), iTexelSize, Background_None, 1.0);
    if (!poRead->poImage->m_pucTexels)
    {
        poRead->pszProblem = "out of memory";
        return false;
    }
    // A zero field says nothing about the pixel shape (and would give 0, infinity
    // or NaN): square pixels then.
    if (uiXPerUnit != 0 && uiYPerUnit != 0)
        poRead->poImage->m_fAspectRatio = static_cast<double>(uiYPerUnit) / static_cast<double>(uiXPerUnit);

    poRead->ppucRows = static_cast<png_bytepp>(malloc(sizeof(png_bytep) * uiHeight));
    if (!poRead->ppucRows)
    {
        poRead->pszProblem = "out of memory";
        return false;
    }
    size_t uiRow = static_cast<size_t>(uiWidth) * iTexelSize;
    // Rows the data does not reach stay black rather than what the heap held.
    memset(poRead->poImage->m_pucTexels, 0, uiRow * uiHeight);
    for (png_uint_32 i = 0; i < uiHeight; i++)
        poRead->ppucRows[i] = poRead->poImage->m_pucTexels + (uiHeight - 1 - i) * uiRow;
    png_read_image(psPNG, poRead->ppucRows);
    if (poRead->bDataEndedEarly) return false;
    // The EXIF chunk may follow the picture data.
    png_read_end(psPNG, psInfo);
    png_charp pszName = nullptr;
    int iCompression = 0;
    png_bytep pucProfile = nullptr;
    png_uint_32 uiProfileSize = 0;
    if (png_get_iCCP(psPNG, psInfo, &pszName, &iCompression, &pucProfile, &uiProfileSize))
        bConvertProfileToSRGB(poRead->poImage, pucProfile, uiProfileSize);
    png_bytep pucExif = nullptr;
    png_uint_32 uiExifSize = 0;
    if (png_get_eXIf_1(psPNG, psInfo, &uiExifSize, &pucExif))
        poRead->iOrientation = iExifOrientation(pucExif, uiExifSize);
    return true;
}

Image* poReadImageFromPNGFile(FILE* poFile)
{
    tdPNGRead oRead = {poFile, nullptr, nullptr, nullptr, nullptr, 1, nullptr, lStreamBytes(poFile), false};
    oRead.psPNG = png_create_read_struct(PNG_LIBPNG_VER_STRING, &oRead, vPNGError, vPNGWarning);
    if (!oRead.psPNG) return nullptr;
    oRead.psInfo = png_create_info_struct(oRead.psPNG);
    if (!oRead.psInfo)
    {
        png_destroy_read_struct(&oRead.psPNG, nullptr, nullptr);
        return nullptr;
    }
    bool bOK = bReadPNG(&oRead);
    png_destroy_read_struct(&oRead.psPNG, &oRead.psInfo, nullptr);
    free(oRead.ppucRows);
    if (!bOK)
    {
        delete oRead.poImage;
        if (oRead.bDataEndedEarly) oRead.pszProblem = g_szTruncated;
        if (oRead.pszProblem)
            vError(__FILE__, __func__, __LINE__, "PNG read error: %s\n", oRead.pszProblem);
        else
            fprintf(stderr, "PNG read error\n");
        return nullptr;
    }
    if (Image* poTurned = poOrientedCopy(oRead.poImage, oRead.iOrientation))
    {
        delete oRead.poImage;
        oRead.poImage = poTurned;
    }
    return oRead.poImage;
}

static void vPNGWriteToArray(png_structp psPNG, png_bytep pucData, png_size_t uiLength)
{
    tdByteArray* poBytes = static_cast<tdByteArray*>(png_get_io_ptr(psPNG));
    int iBefore = poBytes->m_iSize;
    if (uiLength > 0x7FFFFFFF) png_error(psPNG, "picture too large");
    poBytes->vAppend(pucData, static_cast<int>(uiLength));
    if (poBytes->m_iSize != iBefore + static_cast<int>(uiLength)) png_error(psPNG, "out of memory");
}

static void vPNGFlush(png_structp) {}

namespace
{
struct tdPNGWrite
{
    png_structp psPNG;
    png_infop psInfo;
    png_bytepp ppucRows; // file row i, top row first
    int iWidth;
    int iHeight;
    int iColorType;
    tdByteArray* poBytes;
    const tdRunContext* poRun; // asked between rows whether to go on
};
} // namespace

// The setjmp frame of the writer: encodes the rows into poWrite->poBytes.
static bool bWritePNG(tdPNGWrite* poWrite)
{
    png_structp psPNG = poWrite->psPNG;
    if (setjmp(png_jmpbuf(psPNG))) return false;
    png_set_write_fn(psPNG, poWrite->poBytes, vPNGWriteToArray, vPNGFlush);
    png_set_IHDR(psPNG, poWrite->psInfo, poWrite->iWidth, poWrite->iHeight, 8, poWrite->iColorType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(psPNG, poWrite->psInfo);
    // Row by row, so that a large picture can be stopped between rows.
    for (int i = 0; i < poWrite->iHeight; i++)
    {
        if (i % 16 == 0 && !bKeepRunning(poWrite->poRun, static_cast<double>(i) / poWrite->iHeight))
            return false;
        png_write_row(psPNG, poWrite->ppucRows[i]);
    }
    png_write_end(psPNG, nullptr);
    return true;
}

// Encodes a picture as PNG bytes. Texel size 3 is written as RGB, 1 as grey;
// 4 and 2 (only when no fit took place) lose their alpha. Returns false when
// the library failed or the run was stopped.
static bool bEncodePNG(const Image* poImage, tdByteArray* poBytes, const tdRunContext* poRun)
{
    if (!poImage->m_pucTexels) return false;
    const int iWidth = poImage->m_iWidth;
    const int iHeight = poImage->m_iHeight;
    const int iTexel = poImage->m_iTexelSize;
    const bool bGrey = iTexel < 3;
    const int iOut = bGrey ? 1 : 3;
    const size_t uiRowIn = static_cast<size_t>(iWidth) * iTexel;
    const size_t uiRowOut = static_cast<size_t>(iWidth) * iOut;

    // Texel sizes 2 and 4 are packed without alpha first; 1 and 3 are written in place.
    unsigned char* pucPacked = nullptr;
    if (iTexel != iOut)
    {
        pucPacked = static_cast<unsigned char*>(malloc(uiRowOut * iHeight));
        if (!pucPacked) return false;
        const size_t uiCount = static_cast<size_t>(iWidth) * iHeight;
        for (size_t i = 0; i < uiCount; i++)
            memcpy(pucPacked + i * iOut, poImage->m_pucTexels + i * iTexel, static_cast<size_t>(iOut));
    }
    const unsigned char* pucTexels = pucPacked ? pucPacked : poImage->m_pucTexels;
    const size_t uiRow = pucPacked ? uiRowOut : uiRowIn;

    tdPNGWrite oWrite = {nullptr, nullptr, nullptr, iWidth, iHeight,
                         bGrey ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, poBytes, poRun};
    oWrite.ppucRows = static_cast<png_bytepp>(malloc(sizeof(png_bytep) * iHeight));
    bool bOK = oWrite.ppucRows != nullptr;
    if (bOK)
    {
        for (int i = 0; i < iHeight; i++)
            oWrite.ppucRows[i] = const_cast<png_bytep>(pucTexels + (iHeight - 1 - i) * uiRow);
        oWrite.psPNG = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        if (oWrite.psPNG) oWrite.psInfo = png_create_info_struct(oWrite.psPNG);
        bOK = oWrite.psInfo && bWritePNG(&oWrite);
        png_destroy_write_struct(&oWrite.psPNG, &oWrite.psInfo);
    }
    free(oWrite.ppucRows);
    free(pucPacked);
    return bOK;
}

tdErrorTriple oWriteImageToPNGFile(const Image* poImage, const tdSettings* poSettings, FILE* poFile,
                                   Image** ppoOut, const tdRunContext* poRun)
{
    tdErrorTriple oError = {0.0, 0.0, 0.0};
    Image* poCopy = poImage->poCopy();
    vFitToFreeOutputSize(poCopy, poSettings);

    if (poFile && bKeepRunning(poRun, 0.0))
    {
        tdByteArray oBytes;
        if (bEncodePNG(poCopy, &oBytes, poRun))
            fwrite(oBytes.m_pucData, 1, static_cast<size_t>(oBytes.m_iSize), poFile);
        else if (!bRunStopped(poRun))
            fprintf(stderr, "PNG write error");
    }
    if (ppoOut)
        *ppoOut = poCopy;
    else
        delete poCopy;
    return oError;
}
