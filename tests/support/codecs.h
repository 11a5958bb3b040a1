#pragma once

// Strict decoders of the MSX-side stream formats, written from the formats alone (a
// stream the MSX could not read exactly is refused: false), and test streams.

#include "qev/base/dynamic_array.h"

#include <cstddef>
#include <string>
#include <vector>

typedef std::vector<unsigned char> tdBytes;

tdBytes aucArrayBytes(const tdByteArray& oArray);
// uiLength pseudo-random bytes below uiAlphabet in runs of 1..uiMaxRun.
tdBytes aucRandomRuns(size_t uiLength, unsigned int uiAlphabet, unsigned int uiMaxRun, unsigned int uiSeed);
// Hexadecimal pairs; "*n" repeats the byte before, "+n" counts up from it, to n bytes
// in all: "7F 41*3 00+3" is 7F 41 41 41 00 01 02.
tdBytes aucHexBytes(const std::string& sHex);

// Run-length: 1..0x7F copies that many bytes, 0x83..0xFF repeats the next byte
// (control - 0x80) times, 0 ends the stream and must be its last byte.
bool bDecodeRunLength(const tdBytes& aucStream, tdBytes* paucOutput);
// LZW, bits from the top: 1 + 8 bits a literal, 0 + max(2, bit length of k) bits an entry
// number, k - 1 a clear, k the end (k counts codes since the last clear), zero padding.
bool bDecodeLZW(const tdBytes& aucStream, tdBytes* paucOutput);
// One KRU block of uiPacked bytes into uiLength bytes: flag bits from the top, each flag
// or data byte fetched when needed, Elias-gamma lengths, the end marker closing it exactly.
bool bDecompressKRUBlock(const unsigned char* pucPacked, size_t uiPacked, tdBytes* paucOut, size_t uiLength);
// The KRU record at uiAt as its command stream; *puiNext (may be null) gets the offset
// after it, *pauiBlocks (may be null) the block lengths. The size field must count the
// bytes from its own offset to the record's end.
bool bDecodeKRURecord(const tdBytes& aucRecord, size_t uiAt, tdBytes* paucStream, size_t* puiNext,
                      std::vector<size_t>* pauiBlocks = nullptr);
