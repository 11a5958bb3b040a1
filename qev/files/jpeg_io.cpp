// JPEG files through libjpeg.
//
// libjpeg reports fatal errors through its error_exit hook, which long-jumps
// back here. The setjmp frame lives in a function whose locals are plain data;
// its caller owns the picture and frees it after a jump.

#include "qev/files/jpeg_io.h"

#include "qev/base/report.h"

#include <csetjmp>
#include <cstdio>
// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

namespace
{
struct tdJPEGError
{
    jpeg_error_mgr oManager; // first, so that libjpeg's pointer is also ours
    jmp_buf oJump;
    bool bDataEndedEarly;    // the decoder met the end of the file before the picture's end
    void (*pfnEmitMessage)(j_common_ptr, int); // the library's own
};

struct tdJPEGRead
{
    FILE* poFile;
    jpeg_decompress_struct* poJPEG;
    tdJPEGError* poError;
    Image* poImage;
    const char* pszProblem; // set when the reader refuses the file without a library error
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
static void vJPEGEmitMessage(j_common_ptr poInfo, int iLevel)
{
    tdJPEGError* poError = reinterpret_cast<tdJPEGError*>(poInfo->err);
    if (iLevel < 0 && poError->oManager.msg_code == JWRN_JPEG_EOF) poError->bDataEndedEarly = true;
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
    if (jpeg_read_header(poJPEG, TRUE) != JPEG_HEADER_OK)
    {
        poRead->pszProblem = "no picture in the file";
        return false;
    }
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
    default:
        poRead->pszProblem = "unsupported colour space (CMYK, YCCK or unknown)";
        return false;
    }
    if (!bImageSizeValid(poJPEG->image_width, poJPEG->image_height, iTexelSize))
    {
        poRead->pszProblem = "picture size beyond 16384 x 16384";
        return false;
    }
    jpeg_start_decompress(poJPEG);
    if (poJPEG->output_components != iTexelSize || poJPEG->output_width != poJPEG->image_width ||
        poJPEG->output_height != poJPEG->image_height)
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
    while (poJPEG->output_scanline < poJPEG->output_height)
    {
        JSAMPROW pucRow = poRead->poImage->m_pucTexels + (iHeight - 1 - poJPEG->output_scanline) * uiRow;
        jpeg_read_scanlines(poJPEG, &pucRow, 1);
    }
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
    tdJPEGRead oRead = {poFile, &oJPEG, &oError, nullptr, nullptr};
    bool bOK = bReadJPEG(&oRead);
    jpeg_destroy_decompress(&oJPEG);
    if (!bOK)
    {
        if (oRead.pszProblem) vError(__FILE__, __func__, __LINE__, "JPEG read error: %s\n", oRead.pszProblem);
        delete oRead.poImage;
        return nullptr;
    }
    return oRead.poImage;
}
