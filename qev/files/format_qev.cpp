#include "qev/files/format_qev.h"

#include "qev/base/report.h"
#include "qev/msx/pipeline.h"
#include "qev/msx/screen_dump.h"
#include "qev/msx/vdp.h"

#include <vector>

// Screen code of each tdScreenMode.
static const int g_aiScreenCodes[ScreenMode_Count] = {8, 9, 0, 1, 2, 3, 4, 5, 10};
static constexpr int g_iScreen4Code = 10;

static bool bCodeHasPalette(int iCode)
{
    return iCode == 0 || iCode == 1 || iCode == 2 || iCode == 4 || iCode == 8 || iCode == 9 ||
           iCode == g_iScreen4Code;
}

tdErrorTriple oWriteImageToQEVFile(const Image* poImage, const tdSettings* poSettings, FILE* poFile,
                                   Image** ppoOut, Palette* poPalette, tdCompressionType eCompression,
                                   const tdRunContext* poRun)
{
    tdErrorTriple oError = {0.0, 0.0, 0.0};
    const int eMode = poSettings->ScreenMode;
    if (eMode < 0 || eMode >= ScreenMode_Count)
    {
        vError(__FILE__, "oWriteImageToQEVFile", __LINE__, "Unhandled screen type.");
        return oError;
    }
    const tdWriterProfile oProfile = {eCompression, false, true};
    tdByteArray oPage0;
    Palette oWorking;
    oError = oConvertImage(poImage, poSettings, &oProfile, poFile ? &oPage0 : nullptr, nullptr, ppoOut,
                           &oWorking, nullptr, poRun);
    if (poFile)
    {
        const int iCode = g_aiScreenCodes[eMode];
        tdByteArray oFile;
        oFile.vAppend(static_cast<unsigned char>(iCode | (bSettingsInterlaced(poSettings) ? 16 : 0)));
        oFile.vAppend(0);
        if (bCodeHasPalette(iCode))
        {
            Palette oSixteen(oWorking); // a Screen 6 palette is stored with 16 entries
            oSixteen.vResize(16);
            oSixteen.vWriteToBinaryArray(&oFile);
        }
        oFile.vAppend(oPage0.m_pucData, oPage0.m_iSize);
        fwrite(oFile.m_pucData, 1, static_cast<size_t>(oFile.m_iSize), poFile);
    }
    vHandOverPalette(poSettings, &oWorking, poPalette);
    return oError;
}

namespace
{
// Reads bits most significant first; past the end of the input it reports the end.
struct tdBitReader
{
    const unsigned char* m_pucInput;
    int m_iSize;
    int m_iPosition; // next byte
    int m_iBitsLeft; // bits of the current byte not read yet
    unsigned int m_uiCurrentWord;
    bool m_bEnded;

    unsigned int uiRead(int iBits)
    {
        unsigned int ui = 0;
        for (int i = 0; i < iBits; i++)
        {
            if (m_iBitsLeft == 0)
            {
                if (m_iPosition >= m_iSize)
                {
                    m_bEnded = true;
                    return 0;
                }
                m_uiCurrentWord = m_pucInput[m_iPosition++];
                m_iBitsLeft = 8;
            }
            m_iBitsLeft--;
            ui = (ui << 1) | ((m_uiCurrentWord >> m_iBitsLeft) & 1);
        }
        return ui;
    }
};

// A dictionary entry: the string of its link followed by its character. Links below
// 256 are single bytes; g_iEntryLink + n is entry n.
struct tdDictionaryEntry
{
    int iLink;
    unsigned char ucCharacter;
};
} // namespace

static const int g_iDictionarySize = 4096;
static const int g_iEntryLink = 0x100;

// Code width of the k-th code since the start or the last clear.
static int iCodeWidth(int k)
{
    int iWidth = 0;
    while ((k >> iWidth) != 0)
        iWidth++;
    return iWidth < 2 ? 2 : iWidth;
}

int iDecodeQEVStream(const unsigned char* pucInput, int iInputSize, unsigned char* pucOutput, int iCapacity,
                     bool* pbInputEnded)
{
    tdBitReader oReader = {pucInput, iInputSize, 0, 0, 0, false};
    std::vector<tdDictionaryEntry> aoDictionary(g_iDictionarySize, {0, 0});
    int iOut = 0;
    int p = -1;
    for (;;)
    {
        const int i = p + 1;
        if (i >= g_iDictionarySize) break; // a sound stream clears before this
        const unsigned int uiFlag = oReader.uiRead(1);
        if (oReader.m_bEnded) break;
        if (uiFlag)
        {
            const unsigned char v = static_cast<unsigned char>(oReader.uiRead(8));
            if (oReader.m_bEnded || iOut >= iCapacity) break;
            pucOutput[iOut++] = v;
            if (p >= 0) aoDictionary[p].ucCharacter = v;
            aoDictionary[i].iLink = v;
        }
        else
        {
            const int n = static_cast<int>(oReader.uiRead(iCodeWidth(i + 1)));
            if (oReader.m_bEnded) break;
            if (n == p + 1)
            {
                p = -1; // clear
                continue;
            }
            if (n > p) break; // the end code, or a code no sound stream holds
            aoDictionary[i].iLink = g_iEntryLink + n;
            // The string of n: its first byte completes entry p; links always point to
            // lower entries, so the walk ends.
            int iLength = 1;
            int iLink = aoDictionary[n].iLink;
            while (iLink >= g_iEntryLink)
            {
                iLink = aoDictionary[iLink - g_iEntryLink].iLink;
                iLength++;
            }
            aoDictionary[p].ucCharacter = static_cast<unsigned char>(iLink);
            if (iLength + 1 > iCapacity - iOut) break;
            int iAt = iOut + iLength; // the string is the link chain's first byte, then the characters
            int iEntry = n;
            for (;;)
            {
                pucOutput[iAt--] = aoDictionary[iEntry].ucCharacter;
                const int iNext = aoDictionary[iEntry].iLink;
                if (iNext < g_iEntryLink)
                {
                    pucOutput[iAt] = static_cast<unsigned char>(iNext);
                    break;
                }
                iEntry = iNext - g_iEntryLink;
            }
            iOut += iLength + 1;
        }
        p = i;
    }
    if (pbInputEnded) *pbInputEnded = oReader.m_bEnded;
    return iOut;
}

Image* poReadImageFromQEVFile(FILE* poFile, const tdSettings* poSettings, Palette* poPalette)
{
    unsigned char acHeader[2];
    if (fread(acHeader, 1, 2, poFile) != 2)
    {
        vError(__FILE__, "poReadImageFromQEVFile", __LINE__, "The QEV file is too short.\n");
        return nullptr;
    }
    const int iCode = acHeader[0] & 15;
    const bool bInterlaced = (acHeader[0] & 16) != 0;
    if ((iCode > 5 && iCode != 8 && iCode != 9 && iCode != g_iScreen4Code) || (acHeader[0] & 0xE0) ||
        (bInterlaced && iCode > 5))
    {
        vError(__FILE__, "poReadImageFromQEVFile", __LINE__, "Unknown QEV screen code %d.\n", acHeader[0]);
        return nullptr;
    }
    VDP oVDP;
    if (bCodeHasPalette(iCode)) oVDP.vReadPaletteFromFile(poFile, 16, poPalette);

    std::vector<unsigned char> aucStream;
    unsigned char acBuffer[65536];
    size_t uiRead;
    while ((uiRead = fread(acBuffer, 1, sizeof(acBuffer), poFile)) > 0 && aucStream.size() < 0x100000)
        aucStream.insert(aucStream.end(), acBuffer, acBuffer + uiRead);
    bool bEnded = false;
    iDecodeQEVStream(aucStream.data(), static_cast<int>(aucStream.size()), oVDP.m_pucVRAM, g_iVRAMSize,
                     &bEnded);
    if (bEnded)
    {
        vError(__FILE__, "poReadImageFromQEVFile", __LINE__, "the file ends before the picture does\n");
        return nullptr;
    }

    const tdYJK2RGBInterpolation eInterpolation = poSettings->YJK2RGBInterpolation;
    Image* poImage = nullptr;
    switch (iCode)
    {
    case 0:
        poImage = oVDP.poGetScreen5Image(bInterlaced, false);
        break;
    case 1:
        poImage = oVDP.poGetScreen6Image(bInterlaced, false);
        break;
    case 2:
        poImage = oVDP.poGetScreen7Image(bInterlaced, false);
        break;
    case 3:
        poImage = oVDP.poGetScreen8Image(bInterlaced, false);
        break;
    case 4:
        poImage = oVDP.poGetScreen11Image(bInterlaced, eInterpolation, false);
        break;
    case 5:
        poImage = oVDP.poGetScreen12Image(bInterlaced, eInterpolation, false);
        break;
    case 8:
    case g_iScreen4Code:
        poImage = oVDP.poGetScreen2Image();
        break;
    default:
        poImage = oVDP.poGetScreen3Image();
        break;
    }
    if (poImage) poImage->m_fAspectRatio *= fGetMSXAspectRatio(poSettings);
    return poImage;
}
