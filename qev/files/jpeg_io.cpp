// JPEG files through libjpeg.
//
// libjpeg reports fatal errors through its error_exit hook, which long-jumps
// back here. The setjmp frame lives in a function whose locals are plain data;
// its caller owns the picture and frees it after a jump.

#include "qev/files/jpeg_io.h"

#include "qev/base/report.h"
#include "qev/files/exif_orientation.h"
#include "qev/files/icc_profile.h"
#include "qev/files/stream_bytes.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

namespace
{
struct tdJPEGError
{
    jpeg_error_mgr oManager; // first, so that libjpeg's pointer is also ours
    jmp_buf oJump;
    bool bDataEndedEarly;                      // the data ended (file end or a marker) before the picture did
    void (*pfnEmitMessage)(j_common_ptr, int); // the library's own
};

struct tdJPEGRead
{
    FILE* poFile;
    jpeg_decompress_struct* poJPEG;
    tdJPEGError* poError;
    Image* poImage;
    unsigned char* pucCMYK; // CMYK and YCCK files: the decoded rows before conversion
    JOCTET* pucProfile;     // the embedded ICC profile (malloc'ed by libjpeg), or null
    unsigned int uiProfileSize;
    int iOrientation;       // of the EXIF block, 1 without
    const char* pszProblem; // set when the reader refuses the file without a library error
    long long lFileBytes;   // the file's size, or -1 when the stream cannot tell
};
} // namespace

static void vJPEGErrorExit(j_common_ptr poInfo)
{
    tdJPEGError* poError = reinterpret_cast<tdJPEGError*>(poInfo->err);
    char acMessage[JMSG_LENGTH_MAX];
    poError->oManager.format_message(poInfo, acMessage);
    vError(__FILE__, __func__, __LINE__, "JPEG error: %s\n", acMessage);
    longjmp(poError->oJump, 1);
}

// Sees every message, also the warnings the library does not print after the first.
// Both premature ends, of the file and of the entropy-coded data before a marker,
// mean the library would make up the rest of the picture.
static void vJPEGEmitMessage(j_common_ptr poInfo, int iLevel)
{
    tdJPEGError* poError = reinterpret_cast<tdJPEGError*>(poInfo->err);
    const int iCode = poError->oManager.msg_code;
    if (iLevel < 0 && (iCode == JWRN_JPEG_EOF || iCode == JWRN_HIT_MARKER)) poError->bDataEndedEarly = true;
    poError->pfnEmitMessage(poInfo, iLevel);
}

static void vJPEGOutputMessage(j_common_ptr poInfo)
{
    tdJPEGError* poError = reinterpret_cast<tdJPEGError*>(poInfo->err);
    char acMessage[JMSG_LENGTH_MAX];
    poError->oManager.format_message(poInfo, acMessage);
    printf("%s\n", acMessage);
}

// The setjmp frame of the reader. Returns true with poRead->poImage filled.
static bool bReadJPEG(tdJPEGRead* poRead)
{
    jpeg_decompress_struct* poJPEG = poRead->poJPEG;
    if (setjmp(poRead->poError->oJump)) return false;

    jpeg_create_decompress(poJPEG);
    jpeg_stdio_src(poJPEG, poRead->poFile);
    jpeg_save_markers(poJPEG, JPEG_APP0 + 1, 0xFFFF); // EXIF
    jpeg_save_markers(poJPEG, JPEG_APP0 + 2, 0xFFFF); // ICC profile
    if (jpeg_read_header(poJPEG, TRUE) != JPEG_HEADER_OK)
    {
        poRead->pszProblem = "no picture in the file";
        return false;
    }
    for (jpeg_saved_marker_ptr po = poJPEG->marker_list; po; po = po->next)
        if (po->marker == JPEG_APP0 + 1 && po->data_length >= 6 && memcmp(po->data, "Exif\0\0", 6) == 0)
        {
            poRead->iOrientation = iExifOrientation(po->data, po->data_length);
            break;
        }
    if (!jpeg_read_icc_profile(poJPEG, &poRead->pucProfile, &poRead->uiProfileSize))
    {
        poRead->pucProfile = nullptr;
        poRead->uiProfileSize = 0;
    }
    // CMYK and YCCK come out as CMYK, then become RGB.
    const bool bCMYK = poJPEG->jpeg_color_space == JCS_CMYK || poJPEG->jpeg_color_space == JCS_YCCK;
    int iTexelSize;
    switch (poJPEG->jpeg_color_space)
    {
    case JCS_GRAYSCALE:
        iTexelSize = 1;
        break;
    case JCS_RGB:
    case JCS_YCbCr:
        poJPEG->out_color_space = JCS_RGB;
        iTexelSize = 3;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        poJPEG->out_color_space = JCS_CMYK;
        iTexelSize = 3;
        break;
    default:
        poRead->pszProblem = "unsupported colour space";
        return false;
    }
    if (!bImageSizeValid(poJPEG->image_width, poJPEG->image_height, iTexelSize))
    {
        poRead->pszProblem = "picture size beyond 16384 x 16384";
        return false;
    }
    // Sequential Huffman data spends at least two bits on each 8 x 8 block of
    // luminance (a one-bit DC code and a one-bit end of block): 256 pixels a byte.
    // Progressive and arithmetic coding can run blocks together: no real picture
    // comes near 65536 pixels a byte.
    const long long lPixels = static_cast<long long>(poJPEG->image_width) * poJPEG->image_height;
    const bool bSequentialHuffman = !poJPEG->progressive_mode && !poJPEG->arith_code;
    if (!bPixelsFitBytes(lPixels, poRead->lFileBytes, bSequentialHuffman ? 256 : 65536))
    {
        poRead->pszProblem = "the file ends before the picture does";
        return false;
    }
    const long long lOwnBytes = lPixels * (iTexelSize + (bCMYK ? 4 : 0));
    if (lOwnBytes >= g_lMaxReadBytes)
    {
        poRead->pszProblem = "the picture needs more memory than one read may use";
        return false;
    }
    // The library's own buffers (whole-picture coefficients for progressive files)
    // share the bound; beyond it the library stops with an error.
    poJPEG->mem->max_memory_to_use = static_cast<long>(g_lMaxReadBytes - lOwnBytes);
    jpeg_start_decompress(poJPEG);
    if (poJPEG->output_components != (bCMYK ? 4 : iTexelSize) ||
        poJPEG->output_width != poJPEG->image_width || poJPEG->output_height != poJPEG->image_height)
    {
        poRead->pszProblem = "unexpected output format";
        return false;
    }
    const int iWidth = static_cast<int>(poJPEG->output_width);
    const int iHeight = static_cast<int>(poJPEG->output_height);
    poRead->poImage = new Image(iWidth, iHeight, iTexelSize, Background_None, 1.0);
    if (!poRead->poImage->m_pucTexels)
    {
        poRead->pszProblem = "out of memory";
        return false;
    }
    const size_t uiRow = static_cast<size_t>(iWidth) * iTexelSize;
    if (bCMYK)
    {
        poRead->pucCMYK = static_cast<unsigned char*>(malloc(static_cast<size_t>(iWidth) * iHeight * 4));
        if (!poRead->pucCMYK)
        {
            poRead->pszProblem = "out of memory";
            return false;
        }
    }
    while (poJPEG->output_scanline < poJPEG->output_height && !poRead->poError->bDataEndedEarly)
    {
        const size_t uiY = iHeight - 1 - poJPEG->output_scanline;
        JSAMPROW pucRow =
            bCMYK ? poRead->pucCMYK + uiY * iWidth * 4 : poRead->poImage->m_pucTexels + uiY * uiRow;
        jpeg_read_scanlines(poJPEG, &pucRow, 1);
    }
    // Adobe's CMYK files store inverted ink (0 = full), and are the ones that carry
    // its marker.
    if (bCMYK)
        vConvertCMYKToSRGB(poRead->pucCMYK, poRead->poImage->m_pucTexels,
                           static_cast<size_t>(iWidth) * iHeight, poJPEG->saw_Adobe_marker,
                           poRead->pucProfile, poRead->uiProfileSize);
    else if (poRead->pucProfile && iTexelSize == 3)
        bConvertProfileToSRGB(poRead->poImage, poRead->pucProfile, poRead->uiProfileSize);
    if (poRead->poError->bDataEndedEarly)
    {
        poRead->pszProblem = "the file ends before the picture does";
        return false;
    }
    jpeg_finish_decompress(poJPEG);
    return true;
}

Image* poReadImageFromJPEGFile(FILE* poFile)
{
    jpeg_decompress_struct oJPEG = {};
    tdJPEGError oError;
    oJPEG.err = jpeg_std_error(&oError.oManager);
    oError.pfnEmitMessage = oError.oManager.emit_message;
    oError.oManager.emit_message = vJPEGEmitMessage;
    oError.oManager.error_exit = vJPEGErrorExit;
    oError.oManager.output_message = vJPEGOutputMessage;
    oError.bDataEndedEarly = false;
    tdJPEGRead oRead = {poFile,  &oJPEG, &oError, nullptr, nullptr,
                        nullptr, 0,      1,       nullptr, lStreamBytes(poFile)};
    bool bOK = bReadJPEG(&oRead);
    jpeg_destroy_decompress(&oJPEG);
    free(oRead.pucCMYK);
    free(oRead.pucProfile);
    // A library error after the data ran out is the truncation's doing.
    if (!bOK && oError.bDataEndedEarly) oRead.pszProblem = "the file ends before the picture does";
    if (!bOK)
    {
        if (oRead.pszProblem) vError(__FILE__, __func__, __LINE__, "JPEG read error: %s\n", oRead.pszProblem);
        delete oRead.poImage;
        return nullptr;
    }
    if (Image* poTurned = poOrientedCopy(oRead.poImage, oRead.iOrientation))
    {
        delete oRead.poImage;
        oRead.poImage = poTurned;
    }
    return oRead.poImage;
}
