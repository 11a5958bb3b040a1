#pragma once

#include "qev/base/settings.h"

#include <cstddef>

// The command-line form of a settings record: one option per field, a fixed text
// followed directly by the value ("-sm2", "-ed0.75"). Integers are written with
// "%d" and read like atoi, doubles written with "%lg" and read with atof; byte
// fields keep the low 8 bits of the integer.

enum tdOptionType
{
    OptionType_Int,    // int32 field
    OptionType_Byte,   // unsigned char field (flags, border colour)
    OptionType_Double, // double field
};

struct tdSettingsOption
{
    const char* pszOption;    // "-bc"
    tdOptionType eType;
    size_t uiOffset;          // of the field in tdSettings
    const char* pszField;     // the field's name, which is also its settings key
};

// The options in writing order, which is also the order the parser tests them in.
constexpr int g_iSettingsOptionCount = 36;
extern const tdSettingsOption g_aoSettingsOptions[g_iSettingsOptionCount];

// Writes "qev <input_file>", one " <option><value>" per field that differs from
// g_oDefaultSettings, and " -of<output_file>" into pszBuffer. 16384 bytes are far
// more than the longest line needs.
void vWriteSettingsToString(const tdSettings* poSettings, char* pszBuffer);

// Applies one argument. Returns true when it began with an option (compared without
// regard to case; the first option in table order wins) and the field was set;
// false, with the record unchanged, otherwise. Text that is not a number gives 0;
// no range test is made.
bool bGetSettingsFromString(tdSettings* poSettings, const char* pszArgument);

// The option an argument begins with (first in table order, case-insensitive), or
// null.
const tdSettingsOption* poFindSettingsOption(const char* pszArgument);

void vStrCatInt(char* pszText, int iValue);
void vStrCatDouble(char* pszText, double fValue);

// The value of an option's field as a double (for messages and range checks).
double fGetOptionValue(const tdSettings* poSettings, const tdSettingsOption* poOption);
