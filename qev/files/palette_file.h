#pragma once

// Palette files: GIMP palettes (".gpl") and binary files of palette-register
// words, read into and written from a Palette.

#include "qev/color/palette.h"

#include <cstdio>

// Reads a palette file into *poPalette. A name ending in ".gpl" (any case) is a
// text file: every line that starts with three decimal integers (as "%d %d %d")
// is a colour, each value snapped to an MSX level and back (not range-checked:
// the low 8 bits of the result are kept; a value beyond the int range counts as
// INT_MIN or INT_MAX); other lines are skipped; only the first 1024 characters of
// a longer line are looked at and its remainder is skipped, never read as a line.
// Any other name (also one shorter than four characters) is a binary file of
// palette-register words, low byte first; an odd last byte is ignored. At most 16
// colours are read, with alpha 0; the count becomes the number read and the slots
// after them copies of the last one (all (0, 0, 0, 0) when none was read). A file
// that cannot be opened is reported ("Palette file not found.") and leaves the
// palette unchanged.
void vLoadPaletteFile(Palette* poPalette, const char* pszFileName);

// Writes a GIMP palette: the lines "GIMP Palette", "Name: " and the file's base
// name, "#", then the first count colours as "%d %d %d\n" lines, to the file
// opened through poOpenForWrite(pContext, name, "wt"), the name's extension
// replaced by "gpl" unless it ends in ".gpl" already. Does nothing when the file
// cannot be opened.
void vWritePaletteTextFile(const Palette* poPalette, void* pContext, const char* pszFileName);

// Writes the first count colours as palette-register words, low byte first;
// nothing for a null stream or an empty palette.
void vWritePaletteBinaryFile(const Palette* poPalette, FILE* poFile);
