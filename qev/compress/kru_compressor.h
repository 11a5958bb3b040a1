#pragma once

#include "qev/base/dynamic_array.h"

// The block compressor of KRU records: a bit-oriented LZ77 with a sliding window of
// N positions (a power of two; KRU uses 2048), so matches reach 1 .. N - 1 bytes
// back. Each block is compressed on its own: no match reaches into an earlier one.
//
// Compressed block: groups of one flag byte followed by the data bytes of the items
// whose flag bits stand in it. Flag bits are used from bit 7 down. Items:
//   literal   flag 0; data byte: the byte.
//   match     flag 1; offset o (1 .. N - 1) back from the output position, length
//             l >= 2 (the copy may overlap the bytes it produces):
//               o - 1 < 128:  data byte o - 1;
//               otherwise:    data byte 128 + ((o - 1) & 127), then flag bits 10..7
//                             of o - 1, most significant first;
//             then Elias-gamma of n = l - 1 in flag bits: k = floor(log2 n) ones,
//             a zero, the k bits of n below its leading one, most significant first.
//   end       a match with offset byte 0 and n = 65536 (sixteen 1s, a 0, sixteen 0s);
//             the last flag byte is filled with zero bits.
// A data byte belongs to the flag byte of its item's flag bit even when the item's
// further bits spill into the next flag byte. A flag byte and its data bytes are
// written once the flag byte is full and one more bit arrives, so a decoder fetches
// a flag byte only when it needs a bit and each data byte just when it needs it.
//
// Parse: greedy, the longest match at each position and among equally long ones the
// nearest; with no match of 2 or more bytes a literal.
//
// The compressor keeps its tables and bit state in module-wide variables: one
// compression at a time, on one thread.

// Allocates the match tables for a window of iWindow positions (a power of two,
// 2 .. 2048, as offsets have 11 bits; anything else is a programming error).
// Releases earlier tables.
void vEncode_Init(int iWindow);

// Frees the match tables. Harmless when none are allocated.
void vEncode_Release();

// Compresses uiLength bytes (0 .. 65536; longer blocks could hold a match that reads
// as the end marker) at pucData (null only with length 0) into a new array that the
// caller deletes. Requires vEncode_Init. A block of b bytes never takes
// more than b + 1 + ceil((b + 34) / 8) bytes: all literals is the worst case.
tdByteArray* poEncode_Encode(unsigned char* pucData, unsigned int uiLength);

// Enters pucPosition (inside the block being compressed, positions taken in order)
// into the window and searches the occurrences of its byte already there. Returns
// the length of the best match (1 when there is none) and stores its start in
// *ppucMatch when one was found.
unsigned int uiEncode_FindMatches(unsigned char* pucPosition, unsigned char** ppucMatch);

// Appends one flag bit (0 or 1; only bit 0 of ucBit counts).
void vEncode_WriteBit(unsigned char ucBit);

// Appends the Elias-gamma code of uiValue (1 or more) as flag bits.
void vEncode_WriteEliasGamma(unsigned int uiValue);

// Appends a match item of offset 1 .. 2047 and length 2 or more (the end marker is
// offset 1, length 65537).
void vEncode_EncodeMatch(unsigned int uiOffset, unsigned int uiLength);
