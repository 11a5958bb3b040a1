#include "tests/support/codecs.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

tdBytes aucHexBytes(const std::string& sHex)
{
    tdBytes auc;
    for (size_t i = 0; i < sHex.size(); i++)
    {
        size_t uiDigits = 0;
        if (sHex[i] == '*' && !auc.empty())
        {
            unsigned char ucLast = auc.back();
            auc.insert(auc.end(), std::stoul(sHex.substr(i + 1), &uiDigits) - 1, ucLast);
            i += uiDigits;
        }
        else if (isxdigit(static_cast<unsigned char>(sHex[i])) && i + 1 < sHex.size())
            auc.push_back(static_cast<unsigned char>(std::stoi(sHex.substr(i++, 2), nullptr, 16)));
    }
    return auc;
}

bool bDecodeRunLength(const tdBytes& aucStream, tdBytes* paucOutput)
{
    paucOutput->clear();
    for (size_t i = 0; i < aucStream.size();)
    {
        unsigned int uiControl = aucStream[i++];
        if (uiControl == 0) return i == aucStream.size();
        bool bCopy = uiControl < 0x80; // else a run of (control - 0x80) bytes
        size_t uiTake = bCopy ? uiControl : 1;
        if ((!bCopy && uiControl < 0x83) || aucStream.size() - i < uiTake) return false;
        for (size_t j = 0; j < (bCopy ? uiControl : uiControl - 0x80); j++)
            paucOutput->push_back(aucStream[i + (bCopy ? j : 0)]);
        i += uiTake;
    }
    return false;
}

bool bDecodeLZW(const tdBytes& aucStream, tdBytes* paucOutput, tdLZWStats* poStats)
{
    tdLZWStats oUnused;
    if (!poStats) poStats = &oUnused;
    paucOutput->clear();
    size_t uiBit = 0;
    // Bits from the top of each byte; false past the end.
    auto bRead = [&](int iCount, unsigned int* puiValue)
    {
        *puiValue = 0;
        for (int i = 0; i < iCount; i++, uiBit++)
        {
            if (uiBit >= aucStream.size() * 8) return false;
            *puiValue = (*puiValue << 1) | ((aucStream[uiBit / 8] >> (7 - uiBit % 8)) & 1u);
        }
        return true;
    };
    std::vector<tdBytes> aoEntries;
    tdBytes aucPrevious;
    for (unsigned int k = 1;; k++)
    {
        poStats->m_iCodes++;
        unsigned int uiFlag = 0, n = 0;
        if (!bRead(1, &uiFlag)) return false;
        tdBytes aucCurrent;
        if (uiFlag)
        {
            if (!bRead(8, &n)) return false;
            aucCurrent.push_back(static_cast<unsigned char>(n));
        }
        else
        {
            int iWidth = 2;
            while (k >> iWidth)
                iWidth++;
            poStats->m_iMaxWidth = std::max(poStats->m_iMaxWidth, iWidth);
            if (!bRead(iWidth, &n)) return false;
            if (n == k - 1)
            {
                poStats->m_aiClearAt.push_back(static_cast<int>(k));
                aoEntries.clear();
                aucPrevious.clear();
                k = 0;
                continue;
            }
            if (n == k)
            {
                // The rest of the last byte must be zero padding, and nothing may follow.
                if ((uiBit + 7) / 8 != aucStream.size()) return false;
                unsigned int uiPad = 0;
                return bRead(static_cast<int>((8 - uiBit % 8) % 8), &uiPad) && uiPad == 0;
            }
            // Entry k - 2 is the previous string plus the first byte of this one, so
            // when this code names it, its last byte is the previous string's first.
            if (n < aoEntries.size())
                aucCurrent = aoEntries[n];
            else if (n == aoEntries.size() && !aucPrevious.empty())
            {
                aucCurrent = aucPrevious;
                aucCurrent.push_back(aucPrevious[0]);
            }
            else
                return false;
        }
        if (!aucPrevious.empty())
        {
            aoEntries.push_back(aucPrevious);
            aoEntries.back().push_back(aucCurrent[0]);
            poStats->m_uiMaxEntries = std::max(poStats->m_uiMaxEntries, aoEntries.size());
        }
        paucOutput->insert(paucOutput->end(), aucCurrent.begin(), aucCurrent.end());
        aucPrevious = aucCurrent;
    }
}

bool bDecompressKRUBlock(const tdBytes& aucPacked, tdBytes* paucOut, size_t uiLimit)
{
    paucOut->clear();
    size_t uiPos = 0;
    bool bPastEnd = false;
    unsigned int uiFlags = 0;
    int iFlagBits = 0;
    auto uiByte = [&]() -> unsigned int
    {
        if (uiPos < aucPacked.size()) return aucPacked[uiPos++];
        bPastEnd = true;
        return 0;
    };
    auto uiBit = [&]() -> unsigned int
    {
        if (iFlagBits == 0)
        {
            uiFlags = uiByte();
            iFlagBits = 8;
        }
        return (uiFlags >> --iFlagBits) & 1u;
    };
    while (!bPastEnd)
    {
        if (uiBit() == 0)
        {
            paucOut->push_back(static_cast<unsigned char>(uiByte()));
            if (paucOut->size() > uiLimit) return false;
            continue;
        }
        unsigned int uiOffsetByte = uiByte(), uiOffset = uiOffsetByte;
        if (uiOffsetByte & 0x80)
        {
            unsigned int uiHigh = 0;
            for (int i = 0; i < 4; i++)
                uiHigh = uiHigh * 2 + uiBit();
            uiOffset = (uiHigh << 7) | (uiOffsetByte & 127);
        }
        uiOffset += 1;
        int iOnes = 0;
        while (uiBit() == 1)
            if (++iOnes > 31 || bPastEnd) return false;
        unsigned long long ulN = 1;
        for (int i = 0; i < iOnes; i++)
            ulN = ulN * 2 + uiBit();
        if (bPastEnd) return false;
        if (uiOffsetByte == 0 && ulN == 65536) return uiPos == aucPacked.size();
        if (uiOffset > paucOut->size() || paucOut->size() + ulN + 1 > uiLimit) return false;
        // The copy may overlap the bytes it produces.
        for (unsigned long long i = 0; i <= ulN; i++)
            paucOut->push_back((*paucOut)[paucOut->size() - uiOffset]);
    }
    return false;
}

bool bDecodeKRURecord(const tdBytes& aucRecord, size_t uiAt, tdBytes* paucStream, size_t* puiNext,
                      std::vector<size_t>* pauiBlocks)
{
    paucStream->clear();
    if (pauiBlocks) pauiBlocks->clear();
    if (aucRecord.size() < uiAt + 11 || memcmp(aucRecord.data() + uiAt, "MSXKRU", 6) != 0) return false;
    auto uiNumber = [&](size_t uiFrom, int iBytes)
    {
        size_t ui = 0;
        for (int i = iBytes - 1; i >= 0; i--)
            ui = ui * 256 + aucRecord[uiFrom + static_cast<size_t>(i)];
        return ui;
    };
    size_t uiPos = uiAt + 11;
    for (;;)
    {
        if (uiPos + 2 > aucRecord.size()) return false;
        size_t uiLength = uiNumber(uiPos, 2);
        uiPos += 2;
        if (uiLength == 0) break;
        if (uiPos + 2 > aucRecord.size()) return false;
        size_t uiPacked = uiNumber(uiPos, 2);
        uiPos += 2;
        if (uiPos + uiPacked > aucRecord.size()) return false;
        tdBytes aucPlain;
        if (!bDecompressKRUBlock(tdBytes(aucRecord.begin() + static_cast<long>(uiPos),
                                         aucRecord.begin() + static_cast<long>(uiPos + uiPacked)),
                                 &aucPlain, uiLength) ||
            aucPlain.size() != uiLength)
            return false;
        paucStream->insert(paucStream->end(), aucPlain.begin(), aucPlain.end());
        if (pauiBlocks) pauiBlocks->push_back(uiLength);
        uiPos += uiPacked;
    }
    if (uiNumber(uiAt + 6, 4) != uiPos - uiAt - 6) return false;
    if (puiNext) *puiNext = uiPos;
    return true;
}
