#include "qev/files/export_tables.h"

#include "qev/base/dynamic_array.h"
#include "qev/color/palette.h"
#include "qev/compress/kru_compressor.h"
#include "qev/msx/pipeline.h"
#include "qev/msx/screen_dump.h"
#include "qev/msx/tile_budget.h"

#include <cctype>
#include <cstdio>
#include <memory>

// The full video-memory image (0000-37FF) of Screens 2 and 4 in tables: name, address, length.
struct tdTableSplit
{
    const char* pszName;
    unsigned int uiAddress;
    unsigned int uiLength;
};
static const tdTableSplit g_aoScreen2LayoutSplit[] = {
    {"pat", 0x0000, 0x1800}, {"nam", 0x1800, 0x0300}, {"col", 0x2000, 0x1800}};

static void vAddTable(std::vector<tdExportTable>* paoTables, const char* pszName, unsigned int uiVRAM,
                      const unsigned char* puc, size_t uiLength)
{
    paoTables->push_back({pszName, uiVRAM, std::vector<unsigned char>(puc, puc + uiLength)});
}

tdErrorTriple oBuildExportTables(const Image* poImage, const tdSettings* poSettings,
                                 std::vector<tdExportTable>* paoTables, const tdRunContext* poRun,
                                 Image** ppoPainted)
{
    paoTables->clear();
    const int eMode = poSettings->ScreenMode;
    if (eMode < 0 || eMode >= ScreenMode_Count) return {0.0, 0.0, 0.0};
    // Converted as a screen dump holds it: its palette and interlace, and Screens 2, 4
    // as the whole image of 0000-37FF, name table included.
    tdSettings oSettings = *poSettings;
    oSettings.ConversionType = ConversionType_SC;
    const bool bInterlaced = bSettingsInterlaced(&oSettings);
    const tdWriterProfile oProfile = {CompressionType_None, false, true};
    tdByteArray oPage0;
    tdByteArray oPage1;
    Palette oWorking;
    const tdErrorTriple oError =
        oConvertImage(poImage, &oSettings, &oProfile, &oPage0, bInterlaced ? &oPage1 : nullptr, ppoPainted,
                      &oWorking, nullptr, poRun);
    const int iScreen = iGetScreenNumber(eMode);
    const size_t uiPage = static_cast<size_t>(oPage0.m_iSize);
    if (bScreenModeHasScreen2Layout(eMode))
    {
        // A bank the three thirds share is written once.
        const bool bShared = oGetTileBudget(&oSettings).m_bSharedBank;
        for (const tdTableSplit& oSplit : g_aoScreen2LayoutSplit)
        {
            const unsigned int uiLength = bShared && oSplit.uiLength == 0x1800 ? 0x0800 : oSplit.uiLength;
            if (oSplit.uiAddress + uiLength <= uiPage)
                vAddTable(paoTables, oSplit.pszName, oSplit.uiAddress, oPage0.m_pucData + oSplit.uiAddress,
                          uiLength);
        }
    }
    else if (eMode == ScreenMode_Screen3)
    {
        vAddTable(paoTables, "pat", 0, oPage0.m_pucData, uiPage);
        unsigned char aucNames[g_iScreen3NameTableSize];
        vFillScreen3NameTable(aucNames);
        vAddTable(paoTables, "nam", g_iScreen3NameTableAddress, aucNames, sizeof(aucNames));
    }
    else
    {
        vAddTable(paoTables, "pix", 0, oPage0.m_pucData, uiPage);
        if (bInterlaced)
            vAddTable(paoTables, "px2", static_cast<unsigned int>(iGetSecondPageBase(iScreen)),
                      oPage1.m_pucData, static_cast<size_t>(oPage1.m_iSize));
    }
    if (iGetPaletteAddress(iScreen) >= 0)
    {
        tdByteArray oWords;
        oWorking.vWriteToBinaryArray(&oWords);
        vAddTable(paoTables, "pal", static_cast<unsigned int>(iGetPaletteAddress(iScreen)), oWords.m_pucData,
                  static_cast<size_t>(oWords.m_iSize));
    }
    return oError;
}

std::vector<unsigned char> aucPackTable(const std::vector<unsigned char>& aucBytes)
{
    std::vector<unsigned char> aucPacked;
    if (aucBytes.size() > 65536) return aucPacked;
    std::vector<unsigned char> aucCopy = aucBytes;
    vEncode_Init(2048);
    std::unique_ptr<tdByteArray> poPacked(
        poEncode_Encode(aucCopy.data(), static_cast<unsigned int>(aucCopy.size())));
    vEncode_Release();
    if (poPacked && poPacked->m_iSize > 0)
        aucPacked.assign(poPacked->m_pucData, poPacked->m_pucData + poPacked->m_iSize);
    return aucPacked;
}

static std::string sUpper(const std::string& s)
{
    std::string sOut = s;
    for (char& c : sOut)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return sOut;
}

// "    1, 2, 3,\n" rows of 16 numbers, each row opened by pszOpen.
static std::string sNumberRows(const std::vector<unsigned char>& auc, const char* pszOpen,
                               bool bTrailingComma)
{
    std::string s;
    char ac[8];
    for (size_t i = 0; i < auc.size(); i++)
    {
        if (i % 16 == 0) s += pszOpen;
        snprintf(ac, sizeof(ac), "%u", auc[i]);
        s += ac;
        const bool bRowEnd = i % 16 == 15 || i + 1 == auc.size();
        if (!bRowEnd || bTrailingComma) s += ",";
        s += bRowEnd ? "\n" : " ";
    }
    return s;
}

std::string sTableAsC(const std::string& sSymbol, const tdExportTable& oTable,
                      const std::vector<unsigned char>& aucBytes, const std::string& sNote)
{
    const std::string sMacro = sUpper(sSymbol);
    // A file name in the note must not close the comment.
    std::string sComment = sNote;
    for (size_t i = sComment.find("*/"); i != std::string::npos; i = sComment.find("*/", i))
        sComment.replace(i, 2, "* /");
    char acVRAM[16];
    snprintf(acVRAM, sizeof(acVRAM), "0x%05X", oTable.uiVRAM);
    return "/* " + sComment + " */\n#ifndef " + sMacro + "_H\n#define " + sMacro + "_H\n\n#define " + sMacro +
           "_VRAM " + acVRAM + "\n#define " + sMacro + "_SIZE " + std::to_string(aucBytes.size()) +
           "\n#define " + sMacro + "_UNPACKED " + std::to_string(oTable.aucBytes.size()) +
           "\n\nconst unsigned char " + sSymbol + "[" + std::to_string(aucBytes.size()) + "] = {\n" +
           sNumberRows(aucBytes, "    ", true) + "};\n\n#endif\n";
}

std::string sTableAsAsm(const std::string& sSymbol, const tdExportTable& oTable,
                        const std::vector<unsigned char>& aucBytes, const std::string& sNote)
{
    const std::string sMacro = sUpper(sSymbol);
    return "; " + sNote + "\n" + sMacro + "_VRAM = " + std::to_string(oTable.uiVRAM) + "\n" + sMacro +
           "_SIZE = " + std::to_string(aucBytes.size()) + "\n" + sMacro +
           "_UNPACKED = " + std::to_string(oTable.aucBytes.size()) + "\n" + sSymbol + ":\n" +
           sNumberRows(aucBytes, "        .db ", false);
}

std::string sSymbolFromName(const std::string& sName)
{
    const size_t uiSlash = sName.rfind('/');
    std::string s = uiSlash == std::string::npos ? sName : sName.substr(uiSlash + 1);
    for (char& c : s)
        if (!isalnum(static_cast<unsigned char>(c)) && c != '_') c = '_';
    if (s.empty() || isdigit(static_cast<unsigned char>(s[0]))) s = "_" + s;
    return s;
}
