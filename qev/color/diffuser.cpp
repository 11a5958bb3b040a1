#include "qev/color/diffuser.h"

#include "qev/base/assert.h"
#include "qev/base/settings.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

// A waiting error as a channel offset: rounded to nearest, halves away from zero.
// Errors beyond +-256 are held there (the clamped channel is the same either way),
// which keeps the conversion defined for the infinite errors an infinite factor
// makes; NaN counts as no error.
static int iRoundError(double fError)
{
    if (std::isnan(fError)) return 0;
    if (fError < -256.0) fError = -256.0;
    if (fError > 256.0) fError = 256.0;
    return static_cast<int>(std::round(fError));
}

static unsigned char ucAddClamped(unsigned char ucValue, int iOffset)
{
    int iValue = ucValue + iOffset;
    return static_cast<unsigned char>(iValue < 0 ? 0 : (iValue > 255 ? 255 : iValue));
}

Diffuser::Diffuser(int iWidth, int iHeight, double fAspectRatio, double fFactor, int iRowsInFlight)
    : m_aulSquaredError{0, 0, 0}, m_aulSavedSquaredError{0, 0, 0}, m_bEnabled(fFactor != 0.0),
      m_pafCurrentRow(nullptr), m_pafNextRow(nullptr), m_afSavedCurrentRow{}, m_afSavedNextRow{},
      m_fRightWeight(0.0), m_fDiagonalWeight(0.0), m_fBelowWeight(0.0), m_iWidth(iWidth < 0 ? 0 : iWidth),
      m_iHeight(iHeight < 0 ? 0 : iHeight), m_pafRing(nullptr),
      m_iRingRows(iRowsInFlight < 1 ? 2 : (iRowsInFlight > 64 ? 65 : iRowsInFlight + 1)), m_iRow(0)
{
    double fA = fSaneAspectRatio(fAspectRatio);
    m_fBelowWeight = fFactor / (1.0 + 1.0 / fA + 2.0 / (fA + 1.0));
    m_fRightWeight = m_fBelowWeight / fA;
    m_fDiagonalWeight = m_fBelowWeight / (fA + 1.0);

    m_pafRing = static_cast<double*>(calloc(uiRowDoubles() * m_iRingRows, sizeof(double)));
    if (!m_pafRing)
        m_bEnabled = false;
    else
    {
        m_pafCurrentRow = pfRowErrors(0);
        m_pafNextRow = pfRowErrors(1);
    }
}

Diffuser::~Diffuser()
{
    free(m_pafRing);
}

size_t Diffuser::uiRowDoubles() const
{
    return (static_cast<size_t>(m_iWidth) + 1) * 3;
}

double* Diffuser::pfRowErrors(int iY) const
{
    return m_pafRing + uiRowDoubles() * static_cast<size_t>(iY % m_iRingRows);
}

void Diffuser::vReset()
{
    for (int c = 0; c < 3; c++)
        m_aulSquaredError[c] = 0;
    m_iRow = 0;
    if (!m_pafRing) return;
    memset(m_pafRing, 0, uiRowDoubles() * m_iRingRows * sizeof(double));
    m_pafCurrentRow = pfRowErrors(0);
    m_pafNextRow = pfRowErrors(1);
}

// The waiting error of one column added to a colour.
static void vAddWaiting(const double* pfError, Color* poColor)
{
    poColor->r = ucAddClamped(poColor->r, iRoundError(pfError[0]));
    poColor->g = ucAddClamped(poColor->g, iRoundError(pfError[1]));
    poColor->b = ucAddClamped(poColor->b, iRoundError(pfError[2]));
}

void Diffuser::vAdjust(int iX, Color* poColor)
{
    QEV_ASSERT(poColor);
    if (!m_bEnabled || iX < 0 || iX >= m_iWidth) return;
    vAddWaiting(m_pafCurrentRow + static_cast<size_t>(iX) * 3, poColor);
}

void Diffuser::vAdjustAt(const tdRow& oRow, int iX, Color* poColor) const
{
    QEV_ASSERT(poColor);
    if (!oRow.m_pfCurrent || iX < 0 || iX >= m_iWidth) return;
    vAddWaiting(oRow.m_pfCurrent + static_cast<size_t>(iX) * 3, poColor);
}

void Diffuser::vSpread(double* pfCurrentRow, double* pfNextRow, int iX, const int* aiError) const
{
    double* pfCurrent = pfCurrentRow + static_cast<size_t>(iX) * 3;
    double* pfNext = pfNextRow + static_cast<size_t>(iX) * 3;
    for (int c = 0; c < 3; c++)
    {
        double fError = aiError[c];
        pfCurrent[3 + c] += m_fRightWeight * fError;
        pfNext[c] += m_fBelowWeight * fError;
        pfNext[3 + c] += m_fDiagonalWeight * fError;
        if (iX > 0) pfNext[c - 3] += m_fDiagonalWeight * fError;
    }
}

// Adjusted minus chosen per channel, its squares added to paulSum.
static void vMeasure(const Color* poAdjusted, const Color* poChosen, int* aiError, uint64_t* paulSum)
{
    aiError[0] = poAdjusted->r - poChosen->r;
    aiError[1] = poAdjusted->g - poChosen->g;
    aiError[2] = poAdjusted->b - poChosen->b;
    for (int c = 0; c < 3; c++)
        paulSum[c] += static_cast<uint64_t>(aiError[c] * aiError[c]);
}

void Diffuser::vDiffuse(int iX, const Color* poAdjusted, const Color* poChosen)
{
    QEV_ASSERT(poAdjusted && poChosen);
    if (iX < 0 || iX >= m_iWidth) return;
    int aiError[3];
    vMeasure(poAdjusted, poChosen, aiError, m_aulSquaredError);
    if (m_bEnabled) vSpread(m_pafCurrentRow, m_pafNextRow, iX, aiError);
}

void Diffuser::vDiffuseAt(const tdRow& oRow, int iX, const Color* poAdjusted, const Color* poChosen,
                          uint64_t* paulSquaredError) const
{
    QEV_ASSERT(poAdjusted && poChosen && paulSquaredError);
    if (iX < 0 || iX >= m_iWidth) return;
    int aiError[3];
    vMeasure(poAdjusted, poChosen, aiError, paulSquaredError);
    if (oRow.m_pfCurrent) vSpread(oRow.m_pfCurrent, oRow.m_pfNext, iX, aiError);
}

void Diffuser::vAddSquaredError(const uint64_t* paulSquaredError)
{
    for (int c = 0; c < 3; c++)
        m_aulSquaredError[c] += paulSquaredError[c];
}

Diffuser::tdRow Diffuser::oStartRow(int iY)
{
    // Without diffusion the arrays are not used at all: rows on other threads are
    // not ordered against this one.
    if (!m_bEnabled || iY < 0) return {nullptr, nullptr};
    tdRow oRow = {pfRowErrors(iY), pfRowErrors(iY + 1)};
    memset(oRow.m_pfNext, 0, uiRowDoubles() * sizeof(double));
    return oRow;
}

void Diffuser::vNewLine()
{
    if (!m_pafRing) return;
    m_iRow++;
    m_pafCurrentRow = pfRowErrors(m_iRow);
    m_pafNextRow = pfRowErrors(m_iRow + 1);
    memset(m_pafNextRow, 0, uiRowDoubles() * sizeof(double));
}

// The columns that the per-pixel steps of iX..iX+7 can change: iX - 1 (lower-left
// share of iX) to iX + 8 (right and lower-right shares of iX + 7), cut to the
// picture; the slot at column width is left out since it is never read. Count 0 to
// 10.
static void vGetSaveWindow(int iX, int iWidth, int* piFirst, int* piCount)
{
    long long lFirst = static_cast<long long>(iX) - 1;
    long long lLast = static_cast<long long>(iX) + 8;
    if (lFirst < 0) lFirst = 0;
    if (lLast > iWidth - 1) lLast = iWidth - 1;
    *piFirst = static_cast<int>(lFirst);
    *piCount = lLast < lFirst ? 0 : static_cast<int>(lLast - lFirst + 1);
    if (*piCount == 0) *piFirst = 0;
}

void Diffuser::vSave(int iX)
{
    for (int c = 0; c < 3; c++)
        m_aulSavedSquaredError[c] = m_aulSquaredError[c];
    if (!m_pafCurrentRow) return;
    int iFirst = 0;
    int iCount = 0;
    vGetSaveWindow(iX, m_iWidth, &iFirst, &iCount);
    size_t uiBytes = static_cast<size_t>(iCount) * 3 * sizeof(double);
    memcpy(m_afSavedCurrentRow, m_pafCurrentRow + static_cast<size_t>(iFirst) * 3, uiBytes);
    memcpy(m_afSavedNextRow, m_pafNextRow + static_cast<size_t>(iFirst) * 3, uiBytes);
}

void Diffuser::vRestore(int iX)
{
    for (int c = 0; c < 3; c++)
        m_aulSquaredError[c] = m_aulSavedSquaredError[c];
    if (!m_pafCurrentRow) return;
    int iFirst = 0;
    int iCount = 0;
    vGetSaveWindow(iX, m_iWidth, &iFirst, &iCount);
    size_t uiBytes = static_cast<size_t>(iCount) * 3 * sizeof(double);
    memcpy(m_pafCurrentRow + static_cast<size_t>(iFirst) * 3, m_afSavedCurrentRow, uiBytes);
    memcpy(m_pafNextRow + static_cast<size_t>(iFirst) * 3, m_afSavedNextRow, uiBytes);
}

tdErrorTriple Diffuser::oGetError() const
{
    long long lPixels = static_cast<long long>(m_iWidth) * m_iHeight;
    if (lPixels <= 0) return {0.0, 0.0, 0.0};
    double fPixels = static_cast<double>(lPixels);
    return {std::sqrt(static_cast<double>(m_aulSquaredError[0]) / fPixels),
            std::sqrt(static_cast<double>(m_aulSquaredError[1]) / fPixels),
            std::sqrt(static_cast<double>(m_aulSquaredError[2]) / fPixels)};
}
