#pragma once

#include "qev/base/color.h"

#include <cstddef>
#include <cstdint>

// Error diffusion over one picture, row by row from the top, each row left to right,
// and the running squared error from which the encoders take their error triple.
//
// A pixel's error (adjusted colour minus chosen colour, per channel) is shared out as
//
//              x       x+1
//     row y    *      right
//     row y+1  diag   below   diag        (diag to x-1 and to x+1)
//
// with shares that fall with distance for pixel aspect ratio a (width over height):
// the right neighbour is a away, the one below 1, the diagonal ones count as a + 1;
// the four shares sum to the factor f.
//
// Invariants: every row array holds (width + 1) * 3 doubles, red, green, blue per
// column; the slot at column width catches the right share of the last pixel and is
// never read back. Columns outside 0..width-1 are ignored by every call.
//
// Rows in flight: the row arrays form a ring of iRowsInFlight + 1 (at least 2), row
// y in array y mod that. The steps named ...At address a row, so that several rows
// can be converted at once, each far enough behind the row above (RowWave): a
// column of row y may be adjusted once row y - 1 has diffused the columns up to two
// to its right, and diffused once row y - 1 has diffused three to its right; each
// array then receives its shares in the same order as row by row. Those steps add
// the squared errors to the caller's sums (one per worker, vAddSquaredError at the
// end), as integer sums do not depend on the order of their terms.
class Diffuser
{
public:
    uint64_t m_aulSquaredError[3];      // red, green, blue: sums of squared integer errors
    uint64_t m_aulSavedSquaredError[3]; // copy taken by vSave
    bool m_bEnabled;                    // the factor is not 0 (a NaN factor counts as not 0)
    double* m_pafCurrentRow;            // in the ring; error waiting for the pixels of the current row
    double* m_pafNextRow;               // in the ring; error waiting for the pixels of the next row
    double m_afSavedCurrentRow[10 * 3]; // window of the current row saved by vSave
    double m_afSavedNextRow[10 * 3];    // window of the next row saved by vSave
    double m_fRightWeight;
    double m_fDiagonalWeight; // to each of the lower-left and lower-right neighbours
    double m_fBelowWeight;
    int m_iWidth;
    int m_iHeight;
    double* m_pafRing; // owned; m_iRingRows row arrays
    int m_iRingRows;
    int m_iRow; // the current row of the row-by-row steps

    // A negative width or height counts as 0. A pixel aspect ratio that is not finite
    // and positive counts as 1.0 (square pixels). Should the row arrays not be
    // allocated, diffusion is off and only the squared errors are gathered.
    Diffuser(int iWidth, int iHeight, double fAspectRatio, double fFactor, int iRowsInFlight = 1);
    ~Diffuser();
    Diffuser(const Diffuser&) = delete;
    Diffuser& operator=(const Diffuser&) = delete;

    // Zeroes the three sums and the row arrays, and starts again at row 0.
    void vReset();

    // Adds the error waiting for column iX to red, green and blue of *poColor, each
    // rounded to nearest (halves away from zero) and clamped to 0..255; alpha stays.
    // Does nothing when diffusion is off. A waiting error that is NaN counts as 0.
    void vAdjust(int iX, Color* poColor);

    // Records the error of column iX (adjusted minus chosen, per channel) in the sums,
    // also when diffusion is off, and spreads it to the neighbours when it is on.
    void vDiffuse(int iX, const Color* poAdjusted, const Color* poChosen);

    // Moves on to the next row: its waiting errors become current, the next row empty.
    void vNewLine();

    // Save and restore the state that the per-pixel steps of columns iX..iX+7 can
    // change: the sums and columns max(0, iX - 1) .. min(iX + 8, width - 1) of both
    // rows (at most 10). vRestore must be given the iX of the matching vSave.
    void vSave(int iX);
    void vRestore(int iX);

    // The row-addressed steps: the start of row iY, which empties the array of row
    // iY + 1 and gives the two arrays the row works on, and vAdjust and vDiffuse
    // within that row (the sums are the caller's).
    struct tdRow
    {
        double* m_pfCurrent; // null when diffusion is off
        double* m_pfNext;
    };
    tdRow oStartRow(int iY);
    void vAdjustAt(const tdRow& oRow, int iX, Color* poColor) const;
    void vDiffuseAt(const tdRow& oRow, int iX, const Color* poAdjusted, const Color* poChosen,
                    uint64_t* paulSquaredError) const;
    void vAddSquaredError(const uint64_t* paulSquaredError);

    // Root-mean-square error of red, green and blue over width x height pixels. A
    // picture of width or height 0 has no pixels and gives the zero triple.
    tdErrorTriple oGetError() const;

private:
    size_t uiRowDoubles() const;
    double* pfRowErrors(int iY) const;
    void vSpread(double* pfCurrentRow, double* pfNextRow, int iX, const int* aiError) const;
};
