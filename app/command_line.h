#pragma once

#include "qev/base/settings.h"

#include <QString>

// A word as a POSIX shell reads it back: unchanged when plain, else in single
// quotes (a bare < or > would redirect).
QString sShellWord(const QString& sWord);

// The qev command line that repeats the conversion of the settings: the options
// that differ from the defaults, the picture sSource and the output sOutput
// (both quoted for the shell; the placeholders "<input_file>" and
// "<output_file>" while sSource is empty), and with a custom palette in use the
// palette file sPaletteFile ("<palette_file>" when empty: no file holds it).
QString sCommandLine(const tdSettings* poSettings, const QString& sSource, const QString& sOutput,
                     const QString& sPaletteFile);
