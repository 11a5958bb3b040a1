#include "tests/support/codecs.h"

#include <algorithm>
#include <cstring>

namespace
{
class BitReader
{
public:
    explicit BitReader(const tdBytes& aucStream) : m_aucStream(aucStream) {}
    bool bRead(int iCount, unsigned int* puiValue)
    {
        *puiValue = 0;
        for (int i = 0; i < iCount; i++)
        {
            if (m_uiBit >= m_aucStream.size() * 8) return false;
            unsigned int uiBit = (m_aucStream[m_uiBit / 8] >> (7 - m_uiBit % 8)) & 1u;
            *puiValue = (*puiValue << 1) | uiBit;
            m_uiBit++;
        }
        return true;
    }
    size_t uiPosition() const { return m_uiBit; }

private:
    const tdBytes& m_aucStream;
    size_t m_uiBit = 0;
};

int iBitLength(unsigned int uiValue)
{
    int i = 0;
    while (uiValue)
    {
        i++;
        uiValue >>= 1;
    }
    return i;
}
} // namespace

bool bDecodeRunLength(const tdBytes& aucStream, tdBytes* paucOutput)
{
    paucOutput->clear();
    size_t i = 0;
    while (i < aucStream.size())
    {
        unsigned int uiControl = aucStream[i++];
        if (uiControl == 0) return i == aucStream.size();
        if (uiControl < 0x80)
        {
            if (aucStream.size() - i < uiControl) return false;
            paucOutput->insert(paucOutput->end(), aucStream.begin() + static_cast<long>(i),
                               aucStream.begin() + static_cast<long>(i + uiControl));
            i += uiControl;
        }
        else
        {
            if (uiControl < 0x83 || i >= aucStream.size()) return false;
            paucOutput->insert(paucOutput->end(), uiControl - 0x80, aucStream[i++]);
        }
    }
    return false;
}

bool bDecodeLZW(const tdBytes& aucStream, tdBytes* paucOutput, tdLZWStats* poStats)
{
    tdLZWStats oUnused;
    if (!poStats) poStats = &oUnused;
    paucOutput->clear();
    BitReader oReader(aucStream);
    std::vector<tdBytes> aoEntries;
    tdBytes aucPrevious;
    bool bHavePrevious = false;
    int k = 0;
    for (;;)
    {
        k++;
        poStats->m_iCodes++;
        unsigned int uiFlag = 0;
        if (!oReader.bRead(1, &uiFlag)) return false;
        tdBytes aucCurrent;
        if (uiFlag)
        {
            unsigned int uiByte = 0;
            if (!oReader.bRead(8, &uiByte)) return false;
            aucCurrent.push_back(static_cast<unsigned char>(uiByte));
        }
        else
        {
            int iWidth = std::max(2, iBitLength(static_cast<unsigned int>(k)));
            poStats->m_iMaxWidth = std::max(poStats->m_iMaxWidth, iWidth);
            unsigned int n = 0;
            if (!oReader.bRead(iWidth, &n)) return false;
            if (n == static_cast<unsigned int>(k - 1))
            {
                poStats->m_aiClearAt.push_back(k);
                aoEntries.clear();
                bHavePrevious = false;
                k = 0;
                continue;
            }
            if (n == static_cast<unsigned int>(k))
            {
                // The rest of the last byte must be padding, and nothing may follow.
                size_t uiEnd = oReader.uiPosition();
                if ((uiEnd + 7) / 8 != aucStream.size()) return false;
                unsigned int uiPad = 0;
                if (!oReader.bRead(static_cast<int>((8 - uiEnd % 8) % 8), &uiPad) || uiPad != 0) return false;
                return true;
            }
            if (n < aoEntries.size())
                aucCurrent = aoEntries[n];
            else if (n == aoEntries.size() && bHavePrevious)
            {
                aucCurrent = aucPrevious;
                aucCurrent.push_back(aucPrevious[0]);
            }
            else
                return false;
        }
        if (bHavePrevious)
        {
            tdBytes aucEntry = aucPrevious;
            aucEntry.push_back(aucCurrent[0]);
            aoEntries.push_back(aucEntry);
            poStats->m_uiMaxEntries = std::max(poStats->m_uiMaxEntries, aoEntries.size());
        }
        paucOutput->insert(paucOutput->end(), aucCurrent.begin(), aucCurrent.end());
        aucPrevious = aucCurrent;
        bHavePrevious = true;
    }
}

namespace
{
// Decoder of one compressed block, from the format alone.
struct tdBlockDecoder
{
    const std::vector<unsigned char>& m_aucIn;
    size_t m_uiPos = 0;
    int m_iFlags = 0;
    int m_iFlagBitsLeft = 0;
    bool m_bPastEnd = false;

    explicit tdBlockDecoder(const std::vector<unsigned char>& aucIn) : m_aucIn(aucIn) {}

    int iByte()
    {
        if (m_uiPos >= m_aucIn.size())
        {
            m_bPastEnd = true;
            return 0;
        }
        return m_aucIn[m_uiPos++];
    }
    int iBit()
    {
        if (m_iFlagBitsLeft == 0)
        {
            m_iFlags = iByte();
            m_iFlagBitsLeft = 8;
        }
        m_iFlagBitsLeft--;
        return (m_iFlags >> m_iFlagBitsLeft) & 1;
    }

    // Decodes up to the end marker into *paucOut. False on a malformed block: input
    // exhausted, an offset reaching before the start, a length code beyond 32 bits,
    // or output beyond uiLimit bytes.
    bool bDecode(std::vector<unsigned char>* paucOut, size_t uiLimit)
    {
        for (;;)
        {
            if (m_bPastEnd) return false;
            if (iBit() == 0)
            {
                paucOut->push_back(static_cast<unsigned char>(iByte()));
                if (paucOut->size() > uiLimit) return false;
                continue;
            }
            int iOffsetByte = iByte();
            unsigned int uiOffset = static_cast<unsigned int>(iOffsetByte);
            if (iOffsetByte & 0x80)
            {
                unsigned int uiHigh = 0;
                for (int i = 0; i < 4; i++)
                    uiHigh = uiHigh * 2 + static_cast<unsigned int>(iBit());
                uiOffset = (uiHigh << 7) | (static_cast<unsigned int>(iOffsetByte) & 127);
            }
            uiOffset += 1;
            int iOnes = 0;
            while (iBit() == 1)
            {
                if (++iOnes > 31 || m_bPastEnd) return false;
            }
            unsigned long long ulN = 1;
            for (int i = 0; i < iOnes; i++)
                ulN = ulN * 2 + static_cast<unsigned long long>(iBit());
            if (m_bPastEnd) return false;
            if (iOffsetByte == 0 && ulN == 65536) return true;
            unsigned long long ulLength = ulN + 1;
            if (uiOffset > paucOut->size() || paucOut->size() + ulLength > uiLimit) return false;
            size_t uiFrom = paucOut->size() - uiOffset;
            for (unsigned long long i = 0; i < ulLength; i++)
                paucOut->push_back((*paucOut)[uiFrom + i]);
        }
    }
};

} // namespace

bool bDecompressKRUBlock(const std::vector<unsigned char>& aucPacked, std::vector<unsigned char>* paucOut,
                         size_t uiLimit)
{
    paucOut->clear();
    tdBlockDecoder oDecoder(aucPacked);
    return oDecoder.bDecode(paucOut, uiLimit) && oDecoder.m_uiPos == aucPacked.size();
}

bool bDecodeKRURecord(const std::vector<unsigned char>& aucRecord, size_t uiAt,
                      std::vector<unsigned char>* paucStream, size_t* puiNext)
{
    paucStream->clear();
    if (aucRecord.size() < uiAt + 11 || memcmp(aucRecord.data() + uiAt, "MSXKRU", 6) != 0) return false;
    size_t uiPos = uiAt + 11;
    for (;;)
    {
        if (uiPos + 2 > aucRecord.size()) return false;
        size_t uiLength = aucRecord[uiPos] | (aucRecord[uiPos + 1] << 8);
        uiPos += 2;
        if (uiLength == 0) break;
        if (uiPos + 2 > aucRecord.size()) return false;
        size_t uiPacked = aucRecord[uiPos] | (aucRecord[uiPos + 1] << 8);
        uiPos += 2;
        if (uiPos + uiPacked > aucRecord.size()) return false;
        std::vector<unsigned char> aucBlock(aucRecord.begin() + static_cast<long>(uiPos),
                                            aucRecord.begin() + static_cast<long>(uiPos + uiPacked));
        std::vector<unsigned char> aucPlain;
        if (!bDecompressKRUBlock(aucBlock, &aucPlain, uiLength) || aucPlain.size() != uiLength) return false;
        paucStream->insert(paucStream->end(), aucPlain.begin(), aucPlain.end());
        uiPos += uiPacked;
    }
    if (puiNext) *puiNext = uiPos;
    return true;
}
