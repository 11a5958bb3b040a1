#include "qev/files/export_tables.h"

#include "qev/base/dynamic_array.h"
#include "qev/compress/kru_compressor.h"
#include "qev/files/format_kru.h"

#include <cctype>
#include <cstdio>
#include <memory>

// Per screen mode: where its palette words belong, and the tables its first VRAM
// page splits into (name, offset, length; length 0: to the page's end).
struct tdTableSplit
{
    const char* pszName;
    unsigned int uiOffset;
    unsigned int uiLength;
};

// clang-format off
//                                               palette   first page
static const unsigned int g_auiPaletteAddress[ScreenMode_Count] = {
    0x1B80, // Screen 2
    0x2020, // Screen 3
    0x7680, // Screen 5
    0x7680, // Screen 6
    0xFA80, // Screen 7
    0,      // Screen 8: no palette
    0xFA80, // Screen 10
    0,      // Screen 12: no palette
};
static const tdTableSplit g_aoScreen2Split[] = {{"pat", 0x0000, 0x1800}, {"nam", 0x1800, 0x0300}, {"col", 0x2000, 0x1800}};
// clang-format on

// Screen 3 shows the pattern generator through the standard name table: block row
// r (0..23) of column c names pattern 32 * (r / 4) + c.
static std::vector<unsigned char> aucScreen3Names()
{
    std::vector<unsigned char> auc(768);
    for (size_t i = 0; i < auc.size(); i++)
        auc[i] = static_cast<unsigned char>(32 * (i / 128) + i % 32);
    return auc;
}

static void vAddTable(std::vector<tdExportTable>* paoTables, const char* pszName, unsigned int uiVRAM,
                      const unsigned char* puc, size_t uiLength)
{
    paoTables->push_back({pszName, uiVRAM, std::vector<unsigned char>(puc, puc + uiLength)});
}

tdErrorTriple oBuildExportTables(const Image* poImage, const tdSettings* poSettings,
                                 std::vector<tdExportTable>* paoTables, const tdRunContext* poRun)
{
    paoTables->clear();
    // As an MSX file holds it: the palette and interlace of the screen files.
    tdSettings oSettings = *poSettings;
    oSettings.ConversionType = ConversionType_KRU;
    tdByteArray oStream;
    const tdErrorTriple oError =
        oBuildKRUStreamOfImage(poImage, &oSettings, &oStream, nullptr, nullptr, CompressionType_None, poRun);
    const int eMode = oSettings.ScreenMode;
    if (eMode < 0 || eMode >= ScreenMode_Count) return oError;

    // Walk the command stream: palette words, registers (skipped), VRAM pages.
    const unsigned char* puc = oStream.m_pucData;
    const size_t uiSize = static_cast<size_t>(oStream.m_iSize);
    std::vector<tdExportTable> aoPalette;
    int iPage = 0;
    for (size_t i = 0; i < uiSize && puc[i] != 255;)
    {
        const unsigned char ucCommand = puc[i];
        if (ucCommand == 0 && i + 1 < uiSize)
            i += 2 + 3 * static_cast<size_t>(puc[i + 1]);
        else if (ucCommand == 1 && i + 2 < uiSize)
        {
            const size_t uiBytes = 2 * static_cast<size_t>(puc[i + 2]);
            if (i + 3 + uiBytes > uiSize) break;
            vAddTable(&aoPalette, "pal", g_auiPaletteAddress[eMode], puc + i + 3, uiBytes);
            i += 3 + uiBytes;
        }
        else if (ucCommand == 2 && i + 6 < uiSize)
        {
            const unsigned int uiAddress = puc[i + 1] | puc[i + 2] << 8 | puc[i + 3] << 16;
            const size_t uiLength = puc[i + 4] | puc[i + 5] << 8 | static_cast<size_t>(puc[i + 6]) << 16;
            const unsigned char* pucPage = puc + i + 7;
            if (i + 7 + uiLength > uiSize) break;
            if (eMode == ScreenMode_Screen2)
            {
                for (const tdTableSplit& oSplit : g_aoScreen2Split)
                    if (oSplit.uiOffset + oSplit.uiLength <= uiLength)
                        vAddTable(paoTables, oSplit.pszName, oSplit.uiOffset, pucPage + oSplit.uiOffset,
                                  oSplit.uiLength);
            }
            else if (eMode == ScreenMode_Screen3)
            {
                vAddTable(paoTables, "pat", 0, pucPage, uiLength);
                const std::vector<unsigned char> aucNames = aucScreen3Names();
                vAddTable(paoTables, "nam", 0x0800, aucNames.data(), aucNames.size());
            }
            else
                vAddTable(paoTables, iPage == 0 ? "pix" : "px2", uiAddress, pucPage, uiLength);
            iPage++;
            i += 7 + uiLength;
        }
        else
            break;
    }
    for (const tdExportTable& oTable : aoPalette)
        paoTables->push_back(oTable);
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

std::vector<unsigned char> aucBSAVEHeader(unsigned int uiAddress, size_t uiLength)
{
    const unsigned int uiEnd = uiAddress + static_cast<unsigned int>(uiLength) - 1;
    return {0xFE,
            static_cast<unsigned char>(uiAddress & 0xFF),
            static_cast<unsigned char>(uiAddress >> 8 & 0xFF),
            static_cast<unsigned char>(uiEnd & 0xFF),
            static_cast<unsigned char>(uiEnd >> 8 & 0xFF),
            static_cast<unsigned char>(uiAddress & 0xFF),
            static_cast<unsigned char>(uiAddress >> 8 & 0xFF)};
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
    char ac[256];
    std::string s = "/* " + sNote + " */\n#ifndef " + sMacro + "_H\n#define " + sMacro + "_H\n\n";
    snprintf(ac, sizeof(ac), "#define %s_VRAM 0x%05X\n#define %s_SIZE %zu\n#define %s_UNPACKED %zu\n\n",
             sMacro.c_str(), oTable.uiVRAM, sMacro.c_str(), aucBytes.size(), sMacro.c_str(),
             oTable.aucBytes.size());
    s += ac;
    s += "const unsigned char " + sSymbol + "[" + std::to_string(aucBytes.size()) + "] = {\n";
    s += sNumberRows(aucBytes, "    ", true);
    s += "};\n\n#endif\n";
    return s;
}

std::string sTableAsAsm(const std::string& sSymbol, const tdExportTable& oTable,
                        const std::vector<unsigned char>& aucBytes, const std::string& sNote)
{
    const std::string sMacro = sUpper(sSymbol);
    char ac[256];
    std::string s = "; " + sNote + "\n";
    snprintf(ac, sizeof(ac), "%s_VRAM = %u\n%s_SIZE = %zu\n%s_UNPACKED = %zu\n", sMacro.c_str(),
             oTable.uiVRAM, sMacro.c_str(), aucBytes.size(), sMacro.c_str(), oTable.aucBytes.size());
    s += ac;
    s += sSymbol + ":\n";
    s += sNumberRows(aucBytes, "        .db ", false);
    return s;
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
