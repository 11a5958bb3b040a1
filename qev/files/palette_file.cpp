// Palette files.
//
// Binary palette file: up to 16 palette-register words, low byte first:
//   byte 0  bits 6-4 red level, bits 2-0 blue level
//   byte 1  bits 2-0 green level
// Text palette file (".gpl"): one "r g b" line of decimal bytes per colour; other
// lines (the header lines of a GIMP palette, comments) are skipped.

#include "qev/files/palette_file.h"

#include "qev/base/report.h"
#include "qev/files/output_files.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
// A palette file holds at most as many colours as the palette.
constexpr int g_iMaxColors = 16;

// One "%d" of scanf: white space, an optional sign, at least one decimal digit.
// Values beyond the int range become INT_MIN or INT_MAX.
bool bScanInt(const char** ppsz, long long* pl)
{
    const char* psz = *ppsz;
    while (*psz == ' ' || (*psz >= '\t' && *psz <= '\r'))
        psz++;
    bool bNegative = false;
    if (*psz == '+' || *psz == '-') bNegative = *psz++ == '-';
    if (*psz < '0' || *psz > '9') return false;
    long long l = 0;
    while (*psz >= '0' && *psz <= '9')
    {
        if (l <= INT_MAX) l = l * 10 + (*psz - '0');
        psz++;
    }
    if (bNegative) l = -l;
    if (l > INT_MAX) l = INT_MAX;
    if (l < INT_MIN) l = INT_MIN;
    *pl = l;
    *ppsz = psz;
    return true;
}

// A text value snapped to an MSX level and back, with divisions truncating toward
// zero; the low 8 bits are kept.
unsigned char ucSnapTextValue(long long l)
{
    long long lLevel = (7 * l + 127) / 255;
    long long lByte = (255 * lLevel + 3) / 7;
    return static_cast<unsigned char>(static_cast<unsigned long long>(lByte) & 0xFF);
}

// Reads one line into pszLine (at most iMax characters, then a terminating zero);
// characters beyond iMax up to the line feed are read and dropped. False at the
// end of the file when nothing was read.
bool bReadLine(FILE* poFile, char* pszLine, int iMax)
{
    int iLength = 0;
    int c = getc(poFile);
    if (c == EOF) return false;
    while (c != EOF && c != '\n')
    {
        if (iLength < iMax) pszLine[iLength++] = static_cast<char>(c);
        c = getc(poFile);
    }
    pszLine[iLength] = '\0';
    return true;
}
} // namespace

void vLoadPaletteFile(Palette* poPalette, const char* pszFileName)
{
    FILE* poFile = pszFileName ? fopen(pszFileName, "rt") : nullptr;
    if (!poFile)
    {
        vError(__FILE__, __func__, __LINE__, "Palette file not found.");
        return;
    }

    Color aoRead[g_iMaxColors];
    unsigned int uiRead = 0;
    if (bEndsWith(pszFileName, ".gpl"))
    {
        char acLine[1024 + 1];
        while (uiRead < g_iMaxColors && bReadLine(poFile, acLine, 1024))
        {
            const char* psz = acLine;
            long long alValues[3];
            if (!bScanInt(&psz, &alValues[0]) || !bScanInt(&psz, &alValues[1]) ||
                !bScanInt(&psz, &alValues[2]))
                continue;
            aoRead[uiRead++] = {ucSnapTextValue(alValues[0]), ucSnapTextValue(alValues[1]),
                                ucSnapTextValue(alValues[2]), 0};
        }
    }
    else
    {
        while (uiRead < g_iMaxColors)
        {
            int iLow = getc(poFile);
            int iHigh = getc(poFile);
            if (iLow == EOF || iHigh == EOF) break; // an odd last byte is no word
            aoRead[uiRead++] = oColorFromRegisterWord(static_cast<unsigned int>(iLow | iHigh << 8));
        }
    }
    fclose(poFile);

    for (unsigned int k = 0; k < g_iMaxColors; k++)
    {
        if (uiRead == 0)
            poPalette->m_aoColors[k] = {0, 0, 0, 0};
        else
            poPalette->m_aoColors[k] = aoRead[k < uiRead ? k : uiRead - 1];
    }
    poPalette->m_uiColorCount = uiRead;
}

void vWritePaletteTextFile(const Palette* poPalette, void* pContext, const char* pszFileName)
{
    if (!pszFileName) return;
    char* pszName =
        bEndsWith(pszFileName, ".gpl") ? szConcat(pszFileName, "") : szReplaceExtenstion(pszFileName, "gpl");
    FILE* poFile = poOpenForWrite(pContext, pszName, "wt");
    // The header GIMP requires; the palette's name is the file's, without folder
    // and extension. Readers skip these lines as they hold no colour.
    const char* pszSlash = strrchr(pszName, '/');
    const char* pszBase = pszSlash ? pszSlash + 1 : pszName;
    if (poFile)
        fprintf(poFile, "GIMP Palette\nName: %.*s\n#\n", static_cast<int>(strlen(pszBase) - 4), pszBase);
    free(pszName);
    if (!poFile) return;
    for (unsigned int k = 0; k < poPalette->uiValidCount(); k++)
        fprintf(poFile, "%d %d %d\n", poPalette->m_aoColors[k].r, poPalette->m_aoColors[k].g,
                poPalette->m_aoColors[k].b);
    vCloseForWrite(pContext, poFile);
}

void vWritePaletteBinaryFile(const Palette* poPalette, FILE* poFile)
{
    if (!poFile || poPalette->uiValidCount() == 0) return;
    tdByteArray oWords;
    poPalette->vWriteToBinaryArray(&oWords);
    fwrite(oWords.m_pucData, 1, static_cast<size_t>(oWords.m_iSize), poFile);
}
