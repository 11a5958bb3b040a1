#pragma once

#include "qev/base/color.h"
#include "qev/base/image.h"
#include "qev/base/run_context.h"
#include "qev/base/settings.h"

#include <string>
#include <vector>

// The video-memory tables of a converted picture, for programs that load them
// themselves:
//   Screen 2   pat 0000-17FF pattern generator, nam 1800-1AFF name table (0..255
//              three times), col 2000-37FF colour table, pal 1B80 palette words
//   Screen 4   as Screen 2, pal 1E80 palette words
//   Screen 3   pat 0000-05FF pattern generator, nam 0800-0AFF name table (block
//              rows: 32 * (row / 4) + column), pal 2020 palette words
//   bitmaps    pix the picture's bytes from 0000 (interlaced: px2, the second
//              field, at 8000 or 10000), pal the palette words (7680 for Screens 5
//              and 6, FA80 for 7 and 10; none for 8 and 12)
// Palette words are two bytes per colour: 0RRR0BBB, then 00000GGG.
struct tdExportTable
{
    std::string sName;   // "pat", "col", "nam", "pal", "pix", "px2"
    unsigned int uiVRAM; // where the table belongs in video memory
    std::vector<unsigned char> aucBytes;
};

// Converts the picture as a screen dump of its screen mode would hold it and splits
// the video memory into tables, in address order. Returns the error triple; no
// table for a screen mode outside 0..8. *ppoPainted (may be null) receives the
// converted picture as the encoder painted it (the caller owns it). Pattern screens
// whose thirds share one tile bank give that bank's patterns and colours once, 2,048
// bytes each.
tdErrorTriple oBuildExportTables(const Image* poImage, const tdSettings* poSettings,
                                 std::vector<tdExportTable>* paoTables, const tdRunContext* poRun = nullptr,
                                 Image** ppoPainted = nullptr);

// The table compressed as one KRU block (2048-byte window, the player's
// kru_unpack unpacks it straight to video memory). Tables are at most 65536 bytes.
std::vector<unsigned char> aucPackTable(const std::vector<unsigned char>& aucBytes);

// Source text of a table as a C header (const unsigned char array, its length,
// unpacked length and VRAM address as macros) or as assembler lines (a label and
// .db lines, with the same numbers as symbols). sSymbol is a C identifier;
// aucBytes the bytes to include (packed or not), uiUnpacked their unpacked length.
std::string sTableAsC(const std::string& sSymbol, const tdExportTable& oTable,
                      const std::vector<unsigned char>& aucBytes, const std::string& sNote);
std::string sTableAsAsm(const std::string& sSymbol, const tdExportTable& oTable,
                        const std::vector<unsigned char>& aucBytes, const std::string& sNote);

// A C identifier from a file name: its base name, letters, digits and underscores
// kept, anything else an underscore, a leading digit prefixed with one.
std::string sSymbolFromName(const std::string& sName);
