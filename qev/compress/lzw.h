#pragma once

#include "qev/base/dynamic_array.h"

#include <cstdint>

// How LZWCmp stores the bytes it is given. The values are those of the program's
// writers; any other value is treated as none.
enum tdCompressionType : int32_t
{
    CompressionType_None = 0,      // bytes stored as they come
    CompressionType_RunLength = 1, // blocks of literals and runs, see LZWCmp
    CompressionType_LZW = 2,       // variable-width LZW codes, see LZWCmp
    CompressionType_Count = 3
};

// A fixed-size open-addressing table of fixed-size records whose first K bytes are
// the key, probed linearly from the home slot (hash h = h * 53 + byte over the key,
// unsigned 32-bit, modulo the slot count). The slot count is the smallest prime not
// below 3 x capacity, so while at most capacity records are stored an empty slot
// ends every probe.
//
// Slot layout: R + 1 bytes; byte 0 is 1 when the slot holds a record and 0 when it
// is empty, the record's R bytes follow (not aligned: records are copied bytewise).
class Hash_Table
{
public:
    int m_iCapacity;           // records the table takes before bIsFull
    int m_iRecordSize;         // R
    int m_iKeySize;            // K, 1..R
    int m_iSlotCount;          // S
    int m_iUsed;               // records stored since creation or vReset
    unsigned char* m_pucSlots; // owned; S * (R + 1) bytes, null when the allocation failed

    // Capacity 1..2^24, record size 1..2^16, key size 1..record size; other values
    // are programming errors. Should the slots not be allocated, the table stores
    // nothing and is always full.
    Hash_Table(int iCapacity, int iRecordSize, int iKeySize);
    ~Hash_Table();
    Hash_Table(const Hash_Table&) = delete;
    Hash_Table& operator=(const Hash_Table&) = delete;

    // The stored record whose first K bytes equal the K bytes at pKey, or null. The
    // pointer stays valid until vReset or destruction.
    void* pvGet(const void* pKey) const;
    // Stores a copy of the R bytes at pRecord and returns the stored copy; returns
    // null without storing when the table is full. Keys are not checked for
    // duplicates: pvGet finds the first one stored.
    void* pvAdd(const void* pRecord);
    // True when used records >= capacity.
    bool bIsFull() const;
    // Empties the table.
    void vReset();
};

// Values of LZWCmp::m_uiPrefix besides a single byte (0..255).
constexpr uint32_t g_uiNoPrefix = 8192;      // no prefix
constexpr uint32_t g_uiEntryPrefix = 0x4000; // plus n: dictionary entry n

// The bit writer: packs bits (most significant first) into bytes and codes the bytes
// into a byte array with one of the three methods of tdCompressionType. The array is
// appended to, never reset.
//
// Run-length stream, a sequence of blocks:
//   0x01..0x7F  n      followed by n literal bytes
//   0x83..0xFF  0x80+r followed by one byte that is repeated r (3..127) times
//   0x00               end of stream
//
// LZW stream, a sequence of codes, bits most significant first, the last byte padded
// with zero bits. The k-th code since the start or the last clear (k from 1) is
//   1 vvvvvvvv          a single byte v (9 bits), or
//   0 nnn..n            an entry number or marker n in W bits, W = max(2, bit length of k).
// The entry stored with the k-th code gets number k - 1 and stands for the string of
// that code followed by the first byte of the next code. The marker n = k - 1 clears
// the dictionary (k restarts at 1); n = k ends the stream. With the capacity of 4094
// entries, a clear follows at k = 4096 at the latest and W never exceeds 13.
//
// Calling order: construct, vOpen, any number of vWriteBits or vWrite, vClose. One
// LZWCmp serves one buffer; calls before vOpen or after vClose do nothing.
class LZWCmp
{
public:
    tdCompressionType m_eCompressionType;
    tdByteArray* m_poOutput; // not owned; null while not open

    // Input side: bits from vWriteBits gather here until a byte is complete.
    unsigned char m_ucInputByte;
    int m_iInputBit;               // position (7..0) of the next bit; 7 when empty
    unsigned char m_ucSymbolWidth; // as given to vOpen; the writers always give 8

    // Run-length side. While a run is open (m_iRunCount > 0) the literal block is
    // empty.
    unsigned char m_aucLiteral[127];
    int m_iLiteralCount;
    unsigned char m_ucRunByte;
    int m_iRunCount;

    // LZW side. Record of m_poTable: prefix, byte, entry number as three uint32_t,
    // keyed by the first two.
    Hash_Table* m_poTable; // owned; only for the LZW type
    int m_iTableSize;      // dictionary capacity, 1..4094
    uint32_t m_uiPrefix;   // g_uiNoPrefix, a byte (< 256), or g_uiEntryPrefix + entry number
    int m_iCodeCount;      // codes emitted since the start or the last clear
    int m_iCodeWidth;      // W
    int m_iWidthPeriod;
    int m_iWidthCountdown; // codes left at the current width
    unsigned char m_ucOutputByte;
    int m_iOutputBit; // position (7..0) of the next code bit; 7 when empty

    long m_lBytesOut; // bytes appended to the buffer since vOpen

    // iTableSize is the LZW dictionary capacity: 0 (or anything outside 1..4094)
    // selects 4094, the most the QEV reader's dictionary of 4096 codes per clear
    // takes. bReserved is always false in this program and changes nothing.
    LZWCmp(tdCompressionType eCompressionType, int iTableSize, bool bReserved);
    ~LZWCmp();
    LZWCmp(const LZWCmp&) = delete;
    LZWCmp& operator=(const LZWCmp&) = delete;

    // Starts a stream appended to *poOutput (a null buffer leaves the writer closed)
    // and resets all coding state. Only symbol width 8 is coded; the value is kept.
    void vOpen(tdByteArray* poOutput, unsigned char ucSymbolWidth);
    // Appends the lowest ucBits bits of iValue (taken as 32 bits unsigned; bits
    // beyond 31 are 0), most significant first; every completed byte goes to vWrite.
    void vWriteBits(int iValue, unsigned char ucBits);
    // Codes one byte.
    void vWrite(unsigned char ucByte);
    // Ends the stream: a started input byte is completed with zero bits and coded
    // first, so no bit is lost; then a pending run or literal block and the end byte
    // (run-length), or the pending prefix and the end code followed by the padded
    // last byte (LZW). The writer is closed afterwards.
    void vClose();

private:
    void vAppendByte(unsigned char ucByte);
    void vWriteRunLength(unsigned char ucByte);
    void vFlushLiterals();
    void vFlushRun();
    void vWriteLZW(unsigned char ucByte);
    void vPutCodeBits(uint32_t uiBits, int iCount);
    void vEmitCode(uint32_t uiValue);
    void vResetLZW();
};
