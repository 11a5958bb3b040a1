#include "qev/compress/lzw.h"

#include "qev/base/assert.h"

#include <cstdlib>
#include <cstring>

// The LZW dictionary capacity of every writer: with the clear at k = 4096 at the
// latest, the QEV reader's 4096 codes per clear suffice and W stays within 13 bits.
static const int g_iDefaultTableSize = 4094;

static bool bIsPrime(long long lValue)
{
    if (lValue < 2) return false;
    for (long long lDivisor = 2; lDivisor * lDivisor <= lValue; lDivisor++)
        if (lValue % lDivisor == 0) return false;
    return true;
}

Hash_Table::Hash_Table(int iCapacity, int iRecordSize, int iKeySize)
    : m_iCapacity(iCapacity), m_iRecordSize(iRecordSize), m_iKeySize(iKeySize), m_iSlotCount(0), m_iUsed(0),
      m_pucSlots(nullptr)
{
    QEV_ASSERT(iCapacity >= 1 && iCapacity <= (1 << 24));
    QEV_ASSERT(iRecordSize >= 1 && iRecordSize <= (1 << 16));
    QEV_ASSERT(iKeySize >= 1 && iKeySize <= iRecordSize);
    long long lSlots = 3LL * iCapacity;
    while (!bIsPrime(lSlots))
        lSlots++;
    m_iSlotCount = static_cast<int>(lSlots);
    m_pucSlots = static_cast<unsigned char*>(
        calloc(static_cast<size_t>(m_iSlotCount), static_cast<size_t>(m_iRecordSize) + 1));
}

Hash_Table::~Hash_Table()
{
    free(m_pucSlots);
}

// Home slot of a key: h = h * 53 + byte over its bytes in order, unsigned 32-bit.
static int iHomeSlot(const unsigned char* pucKey, int iKeySize, int iSlotCount)
{
    uint32_t uiHash = 0;
    for (int i = 0; i < iKeySize; i++)
        uiHash = uiHash * 53u + pucKey[i];
    return static_cast<int>(uiHash % static_cast<uint32_t>(iSlotCount));
}

void* Hash_Table::pvGet(const void* pKey) const
{
    if (!m_pucSlots) return nullptr;
    const unsigned char* pucKey = static_cast<const unsigned char*>(pKey);
    size_t uiSlotSize = static_cast<size_t>(m_iRecordSize) + 1;
    int iSlot = iHomeSlot(pucKey, m_iKeySize, m_iSlotCount);
    // At most capacity < S slots are used, so an empty slot ends the probe.
    for (;;)
    {
        unsigned char* pucSlot = m_pucSlots + static_cast<size_t>(iSlot) * uiSlotSize;
        if (!pucSlot[0]) return nullptr;
        if (memcmp(pucSlot + 1, pucKey, static_cast<size_t>(m_iKeySize)) == 0) return pucSlot + 1;
        if (++iSlot == m_iSlotCount) iSlot = 0;
    }
}

void* Hash_Table::pvAdd(const void* pRecord)
{
    if (bIsFull()) return nullptr;
    const unsigned char* pucRecord = static_cast<const unsigned char*>(pRecord);
    size_t uiSlotSize = static_cast<size_t>(m_iRecordSize) + 1;
    int iSlot = iHomeSlot(pucRecord, m_iKeySize, m_iSlotCount);
    for (;;)
    {
        unsigned char* pucSlot = m_pucSlots + static_cast<size_t>(iSlot) * uiSlotSize;
        if (!pucSlot[0])
        {
            pucSlot[0] = 1;
            memcpy(pucSlot + 1, pucRecord, static_cast<size_t>(m_iRecordSize));
            m_iUsed++;
            return pucSlot + 1;
        }
        if (++iSlot == m_iSlotCount) iSlot = 0;
    }
}

bool Hash_Table::bIsFull() const
{
    return !m_pucSlots || m_iUsed >= m_iCapacity;
}

void Hash_Table::vReset()
{
    m_iUsed = 0;
    if (m_pucSlots)
        memset(m_pucSlots, 0, static_cast<size_t>(m_iSlotCount) * (static_cast<size_t>(m_iRecordSize) + 1));
}

// Dictionary record: prefix (g_uiNoPrefix never stored), next byte in a 32-bit slot
// whose upper three bytes are zero, entry number. The key is the first 8 bytes.
struct tdLZWRecord
{
    uint32_t uiPrefix;
    uint32_t uiByte;
    uint32_t uiEntry;
};
static_assert(sizeof(tdLZWRecord) == 12, "the dictionary record is three packed 32-bit words");
static const int g_iLZWKeySize = 8;

LZWCmp::LZWCmp(tdCompressionType eCompressionType, int iTableSize, bool bReserved)
    : m_eCompressionType(eCompressionType), m_poOutput(nullptr), m_ucInputByte(0), m_iInputBit(7),
      m_ucSymbolWidth(8), m_aucLiteral{}, m_iLiteralCount(0), m_ucRunByte(0), m_iRunCount(0),
      m_poTable(nullptr), m_iTableSize(iTableSize), m_uiPrefix(g_uiNoPrefix), m_iCodeCount(0),
      m_iCodeWidth(2), m_iWidthPeriod(2), m_iWidthCountdown(3), m_ucOutputByte(0), m_iOutputBit(7),
      m_lBytesOut(0)
{
    (void)bReserved;
    if (m_eCompressionType != CompressionType_RunLength && m_eCompressionType != CompressionType_LZW)
        m_eCompressionType = CompressionType_None;
    if (m_iTableSize < 1 || m_iTableSize > g_iDefaultTableSize) m_iTableSize = g_iDefaultTableSize;
    if (m_eCompressionType == CompressionType_LZW)
        m_poTable = new Hash_Table(m_iTableSize, static_cast<int>(sizeof(tdLZWRecord)), g_iLZWKeySize);
}

LZWCmp::~LZWCmp()
{
    delete m_poTable;
}

void LZWCmp::vOpen(tdByteArray* poOutput, unsigned char ucSymbolWidth)
{
    m_poOutput = poOutput;
    m_ucInputByte = 0;
    m_iInputBit = 7;
    m_ucSymbolWidth = ucSymbolWidth;
    m_iLiteralCount = 0;
    m_ucRunByte = 0;
    m_iRunCount = 0;
    m_ucOutputByte = 0;
    m_iOutputBit = 7;
    m_lBytesOut = 0;
    vResetLZW();
}

void LZWCmp::vAppendByte(unsigned char ucByte)
{
    m_poOutput->vAppend(ucByte);
    m_lBytesOut++;
}

void LZWCmp::vWriteBits(int iValue, unsigned char ucBits)
{
    if (!m_poOutput) return;
    uint32_t uiValue = static_cast<uint32_t>(iValue);
    if (ucBits == 8 && m_iInputBit == 7)
    {
        // Whole bytes on a byte boundary, the encoders' usual call.
        vWrite(static_cast<unsigned char>(uiValue));
        return;
    }
    for (int i = ucBits - 1; i >= 0; i--)
    {
        unsigned int uiBit = i < 32 ? (uiValue >> i) & 1u : 0u;
        m_ucInputByte = static_cast<unsigned char>(m_ucInputByte | (uiBit << m_iInputBit));
        if (m_iInputBit == 0)
        {
            unsigned char ucByte = m_ucInputByte;
            m_ucInputByte = 0;
            m_iInputBit = 7;
            vWrite(ucByte);
        }
        else
        {
            m_iInputBit--;
        }
    }
}

void LZWCmp::vWrite(unsigned char ucByte)
{
    if (!m_poOutput) return;
    switch (m_eCompressionType)
    {
    case CompressionType_RunLength:
        vWriteRunLength(ucByte);
        break;
    case CompressionType_LZW:
        vWriteLZW(ucByte);
        break;
    default:
        vAppendByte(ucByte);
        break;
    }
}

void LZWCmp::vFlushLiterals()
{
    if (m_iLiteralCount == 0) return;
    vAppendByte(static_cast<unsigned char>(m_iLiteralCount));
    for (int i = 0; i < m_iLiteralCount; i++)
        vAppendByte(m_aucLiteral[i]);
    m_iLiteralCount = 0;
}

void LZWCmp::vFlushRun()
{
    if (m_iRunCount == 0) return;
    vAppendByte(static_cast<unsigned char>(0x80 + m_iRunCount));
    vAppendByte(m_ucRunByte);
    m_iRunCount = 0;
}

// A run starts when a byte is the third equal one at the end of the literal block;
// it takes those two literals along, so runs are 3..127 bytes long and a literal
// block never ends in three equal bytes.
void LZWCmp::vWriteRunLength(unsigned char ucByte)
{
    if (m_iRunCount > 0)
    {
        if (m_iRunCount < 127 && ucByte == m_ucRunByte)
        {
            m_iRunCount++;
            return;
        }
        vFlushRun();
        m_aucLiteral[0] = ucByte;
        m_iLiteralCount = 1;
        return;
    }
    if (m_iLiteralCount >= 2 && m_aucLiteral[m_iLiteralCount - 1] == ucByte &&
        m_aucLiteral[m_iLiteralCount - 2] == ucByte)
    {
        m_iLiteralCount -= 2;
        vFlushLiterals();
        m_ucRunByte = ucByte;
        m_iRunCount = 3;
        return;
    }
    m_aucLiteral[m_iLiteralCount++] = ucByte;
    if (m_iLiteralCount == 127) vFlushLiterals();
}

void LZWCmp::vResetLZW()
{
    m_uiPrefix = g_uiNoPrefix;
    m_iCodeCount = 0;
    m_iCodeWidth = 2;
    m_iWidthPeriod = 2;
    m_iWidthCountdown = 3;
    if (m_poTable) m_poTable->vReset();
}

// Appends the iCount (0..32) low bits of uiBits to the code bytes, most significant
// first, as many at a time as the accumulator has room for.
void LZWCmp::vPutCodeBits(uint32_t uiBits, int iCount)
{
    while (iCount > 0)
    {
        int iFree = m_iOutputBit + 1;
        int iTake = iCount < iFree ? iCount : iFree;
        uint32_t uiChunk = (uiBits >> (iCount - iTake)) & ((1u << iTake) - 1u);
        m_ucOutputByte = static_cast<unsigned char>(m_ucOutputByte | (uiChunk << (iFree - iTake)));
        m_iOutputBit -= iTake;
        iCount -= iTake;
        if (m_iOutputBit < 0)
        {
            vAppendByte(m_ucOutputByte);
            m_ucOutputByte = 0;
            m_iOutputBit = 7;
        }
    }
}

// Writes one code: a byte (below 256) as 1 and its 8 bits, or g_uiEntryPrefix + n
// (an entry number or marker n) as 0 and the W low bits of n. The code counter k
// counts this code; W grows after codes 3, 7, 15, ... so that W = max(2, bit length
// of k) for every code.
void LZWCmp::vEmitCode(uint32_t uiValue)
{
    m_iCodeCount++;
    if (uiValue < 256)
        vPutCodeBits(0x100u | uiValue, 9);
    else
        vPutCodeBits((uiValue - g_uiEntryPrefix) & ((1u << m_iCodeWidth) - 1u), m_iCodeWidth + 1);
    if (--m_iWidthCountdown == 0)
    {
        m_iWidthPeriod *= 2;
        m_iWidthCountdown = m_iWidthPeriod;
        m_iCodeWidth++;
    }
}

void LZWCmp::vWriteLZW(unsigned char ucByte)
{
    if (m_uiPrefix == g_uiNoPrefix)
    {
        m_uiPrefix = ucByte;
        return;
    }
    tdLZWRecord oRecord = {m_uiPrefix, ucByte, 0};
    unsigned char aucRecord[sizeof(tdLZWRecord)];
    memcpy(aucRecord, &oRecord, sizeof(aucRecord));
    const unsigned char* pucFound = static_cast<const unsigned char*>(m_poTable->pvGet(aucRecord));
    if (pucFound)
    {
        memcpy(&oRecord, pucFound, sizeof(oRecord));
        m_uiPrefix = g_uiEntryPrefix + oRecord.uiEntry;
        return;
    }
    oRecord.uiEntry = static_cast<uint32_t>(m_iCodeCount);
    memcpy(aucRecord, &oRecord, sizeof(aucRecord));
    m_poTable->pvAdd(aucRecord);
    vEmitCode(m_uiPrefix);
    m_uiPrefix = ucByte;
    if (m_poTable->bIsFull())
    {
        // The clear is the k-th code with value k - 1.
        vEmitCode(m_uiPrefix);
        vEmitCode(g_uiEntryPrefix + static_cast<uint32_t>(m_iCodeCount));
        vResetLZW();
    }
}

void LZWCmp::vClose()
{
    if (!m_poOutput) return;
    // A started input byte is coded before the stream ends (the symbol width less one
    // zero bits complete it), so that the end marker follows every bit given.
    if (m_iInputBit != 7) vWriteBits(0, static_cast<unsigned char>(m_iInputBit + 1));

    switch (m_eCompressionType)
    {
    case CompressionType_RunLength:
        vFlushRun();
        vFlushLiterals();
        vAppendByte(0);
        break;
    case CompressionType_LZW:
        if (m_uiPrefix != g_uiNoPrefix) vEmitCode(m_uiPrefix);
        m_uiPrefix = g_uiNoPrefix;
        // The end code is the k-th code with value k.
        vEmitCode(g_uiEntryPrefix + static_cast<uint32_t>(m_iCodeCount + 1));
        if (m_iOutputBit != 7)
        {
            vAppendByte(m_ucOutputByte);
            m_ucOutputByte = 0;
            m_iOutputBit = 7;
        }
        break;
    default:
        break;
    }
    m_poOutput = nullptr;
}
