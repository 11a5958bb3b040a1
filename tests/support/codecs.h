#pragma once

// Decoders of the MSX-side stream formats, written from the formats alone and
// strict: a stream the MSX could not read exactly is refused.

#include <cstddef>
#include <string>
#include <vector>

typedef std::vector<unsigned char> tdBytes;

// Bytes typed as hexadecimal pairs, "*n" (decimal) repeating the byte before it
// to n in all: "7F 41*3 00" is 7F 41 41 41 00. Other characters are skipped.
tdBytes aucHexBytes(const std::string& sHex);

// Run-length stream: control byte 1..0x7F copies that many bytes, 0x83..0xFF
// repeats the next byte (control - 0x80) times, 0 ends the stream and must be its
// last byte. False on anything else (0x80..0x82, a truncated item, no end).
bool bDecodeRunLength(const tdBytes& aucStream, tdBytes* paucOutput);

struct tdLZWStats
{
    std::vector<int> m_aiClearAt; // k of each clear code
    int m_iMaxWidth = 0;          // widest number code
    size_t m_uiMaxEntries = 0;    // most entries defined before a clear or the end
    int m_iCodes = 0;
};

// LZW stream, bits from the top of each byte: flag 1 then 8 bits is a literal;
// flag 0 then max(2, bit length of k) bits is an entry number, k - 1 clears the
// table and k ends the stream (k counts codes since the last clear). The end must
// be followed by zero padding only. poStats may be null.
bool bDecodeLZW(const tdBytes& aucStream, tdBytes* paucOutput, tdLZWStats* poStats = nullptr);

// Decodes one compressed KRU block (flag bits from the top, a flag byte fetched
// only when a bit is needed, each data byte when it is needed, Elias-gamma
// lengths, the end marker closing the block exactly). False on a malformed block,
// or output beyond uiLimit bytes.
bool bDecompressKRUBlock(const tdBytes& aucPacked, tdBytes* paucOut, size_t uiLimit);

// Decodes the KRU record at uiAt into its command stream; *puiNext (may be null)
// receives the offset after the record, *pauiBlocks (may be null) the stream length
// of each block. False on a malformed record, a size field that does not count the
// bytes from its own offset to the record's end included.
bool bDecodeKRURecord(const tdBytes& aucRecord, size_t uiAt, tdBytes* paucStream, size_t* puiNext,
                      std::vector<size_t>* pauiBlocks = nullptr);
