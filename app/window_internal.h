#pragma once

// Helpers shared by the units of the window (window*.cpp), for them alone.

#include "window.h"

#include <QString>

#include <cstdint>

class QWidget;

// The slider position of a value stored as position x 0.001, truncated toward zero.
int iSliderPosition(double fValue);
// A value as the window writes it: "%.3f".
QString sFormatDouble(double fValue);
// A whole text as a double in [fMin, fMax], or as a base-10 integer in [iMin,
// iMax]; false for anything else.
bool bParseDouble(const QString& sText, double fMin, double fMax, double* pfValue);
bool bParseInt(const QString& sText, int iMin, int iMax, int32_t* piValue);
// The fields whose change makes the paint handler refresh the controls.
bool bControlFieldsDiffer(const tdSettings* poA, const tdSettings* poB);
