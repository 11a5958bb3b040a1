#include "tests/support/codecs.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>

tdBytes aucArrayBytes(const tdByteArray& oArray)
{
    return tdBytes(oArray.m_pucData, oArray.m_pucData + oArray.m_iSize);
}

tdBytes aucRandomRuns(size_t uiLength, unsigned int uiAlphabet, unsigned int uiMaxRun, unsigned int uiSeed)
{
    std::mt19937 oRandom(uiSeed);
    tdBytes auc;
    for (size_t uiRun = 1 + oRandom() % uiMaxRun; auc.size() < uiLength; uiRun = 1 + oRandom() % uiMaxRun)
        auc.insert(auc.end(), uiRun, static_cast<unsigned char>(oRandom() % uiAlphabet));
    auc.resize(uiLength);
    return auc;
}

tdBytes aucHexBytes(const std::string& sHex)
{
    tdBytes auc;
    for (size_t i = 0, uiDigits = 0; i < sHex.size(); i++)
        if ((sHex[i] == '*' || sHex[i] == '+') && !auc.empty())
        {
            for (size_t n = std::stoul(sHex.substr(i + 1), &uiDigits); n > 1; n--)
                auc.push_back(static_cast<unsigned char>(auc.back() + (sHex[i] == '+')));
            i += uiDigits;
        }
        else if (isxdigit(static_cast<unsigned char>(sHex[i])) && i + 1 < sHex.size())
            auc.push_back(static_cast<unsigned char>(std::stoi(sHex.substr(i++, 2), nullptr, 16)));
    return auc;
}

bool bDecodeRunLength(const tdBytes& aucStream, tdBytes* paucOutput)
{
    paucOutput->clear();
    for (size_t i = 0; i < aucStream.size();)
    {
        size_t uiControl = aucStream[i++], uiTake = uiControl < 0x80 ? uiControl : 1; // bytes after it
        if (uiControl == 0) return i == aucStream.size();
        if ((uiControl > 0x7F && uiControl < 0x83) || aucStream.size() - i < uiTake) return false;
        for (size_t j = 0; j < (uiControl < 0x80 ? uiControl : uiControl - 0x80); j++)
            paucOutput->push_back(aucStream[i + j % uiTake]); // a run repeats its one byte
        i += uiTake;
    }
    return false;
}

bool bDecodeLZW(const tdBytes& aucStream, tdBytes* paucOutput)
{
    paucOutput->clear();
    size_t uiBit = 0;
    auto bRead = [&](size_t uiCount, unsigned int* puiValue) // false past the end
    {
        if (uiBit + uiCount > aucStream.size() * 8) return false;
        for (*puiValue = 0; uiCount > 0; uiCount--, uiBit++)
            *puiValue = (*puiValue << 1) | ((aucStream[uiBit / 8] >> (7 - uiBit % 8)) & 1u);
        return true;
    };
    std::vector<tdBytes> aoEntries;
    tdBytes aucPrevious, aucCurrent;
    for (unsigned int k = 1;; k++)
    {
        unsigned int uiFlag = 0, n = 0;
        size_t uiWidth = std::max(2, static_cast<int>(std::log2(k)) + 1); // of a number code
        if (!bRead(1, &uiFlag) || !bRead(uiFlag ? 8 : uiWidth, &n)) return false;
        // Entry k - 2 is the previous string plus the first byte of this one, so when
        // this code names it, its last byte is the previous string's first.
        if (uiFlag)
            aucCurrent.assign(1, static_cast<unsigned char>(n));
        else if (n == k - 1) // a clear: k restarts
            k = 0, aucCurrent.clear(), aoEntries.clear();
        else if (n == k) // the end: the rest of the last byte is zero padding, nothing follows
            return (uiBit + 7) / 8 == aucStream.size() && bRead((8 - uiBit % 8) % 8, &n) && !n;
        else if (n < aoEntries.size())
            aucCurrent = aoEntries[n];
        else if (n == aoEntries.size() && !aucPrevious.empty())
            (aucCurrent = aucPrevious).push_back(aucPrevious[0]);
        else
            return false;
        if (!aucPrevious.empty() && !aucCurrent.empty())
            aoEntries.push_back(aucPrevious), aoEntries.back().push_back(aucCurrent[0]);
        paucOutput->insert(paucOutput->end(), aucCurrent.begin(), aucCurrent.end());
        aucPrevious = aucCurrent;
    }
}

bool bDecompressKRUBlock(const unsigned char* pucPacked, size_t uiPacked, tdBytes* paucOut, size_t uiLength)
{
    paucOut->clear();
    size_t uiPos = 0;
    bool bPastEnd = false;
    unsigned int uiFlags = 0, uiFlagBits = 0;
    auto uiByte = [&]() -> unsigned int
    {
        bPastEnd |= uiPos >= uiPacked;
        return bPastEnd ? 0 : pucPacked[uiPos++];
    };
    auto uiBit = [&]() -> unsigned int
    {
        if (uiFlagBits == 0) uiFlags = uiByte(), uiFlagBits = 8;
        return (uiFlags >> --uiFlagBits) & 1u;
    };
    while (!bPastEnd && paucOut->size() <= uiLength)
    {
        if (uiBit() == 0)
        {
            paucOut->push_back(static_cast<unsigned char>(uiByte()));
            continue;
        }
        unsigned int uiOffsetByte = uiByte(), uiOffset = uiOffsetByte & 127;
        // Offsets past 128 take four more flag bits as their top.
        for (int i = 0; i < 4 && (uiOffsetByte & 0x80); i++)
            uiOffset += uiBit() << (10 - i);
        unsigned long long ulN = 1, ulOnes = 0; // Elias gamma: ones, a zero, that many bits
        while (ulOnes < 32 && uiBit() == 1 && !bPastEnd)
            ulOnes++;
        while (ulOnes-- > 0)
            ulN = ulN * 2 + uiBit();
        if (bPastEnd) return false;
        if (uiOffsetByte == 0 && ulN == 65536) return uiPos == uiPacked && paucOut->size() == uiLength;
        if (uiOffset + 1 > paucOut->size() || paucOut->size() + ulN + 1 > uiLength) return false;
        for (unsigned long long i = 0; i <= ulN; i++) // the copy may overlap the bytes it makes
            paucOut->push_back((*paucOut)[paucOut->size() - uiOffset - 1]);
    }
    return false;
}

bool bDecodeKRURecord(const tdBytes& aucRecord, size_t uiAt, tdBytes* paucStream, size_t* puiNext,
                      std::vector<size_t>* pauiBlocks)
{
    paucStream->clear();
    if (pauiBlocks) pauiBlocks->clear();
    auto uiNumber = [&](size_t uiFrom, size_t uiBytes) // little-endian; SIZE_MAX past the end
    {
        size_t ui = uiFrom + uiBytes > aucRecord.size() ? SIZE_MAX : 0;
        while (ui != SIZE_MAX && uiBytes-- > 0)
            ui = ui * 256 + aucRecord[uiFrom + uiBytes];
        return ui;
    };
    if (aucRecord.size() < uiAt + 11 || memcmp(aucRecord.data() + uiAt, "MSXKRU", 6) != 0) return false;
    size_t uiPos = uiAt + 11, uiLength = 0;
    for (tdBytes aucPlain; (uiLength = uiNumber(uiPos, 2)) != 0; uiPos += 4 + uiNumber(uiPos + 2, 2))
    {
        size_t uiPacked = uiNumber(uiPos + 2, 2);
        if (uiLength == SIZE_MAX || uiPacked == SIZE_MAX || uiPos + 4 + uiPacked > aucRecord.size())
            return false;
        if (!bDecompressKRUBlock(aucRecord.data() + uiPos + 4, uiPacked, &aucPlain, uiLength)) return false;
        paucStream->insert(paucStream->end(), aucPlain.begin(), aucPlain.end());
        if (pauiBlocks) pauiBlocks->push_back(uiLength);
    }
    if (uiNumber(uiAt + 6, 4) != uiPos + 2 - uiAt - 6) return false;
    if (puiNext) *puiNext = uiPos + 2;
    return true;
}
