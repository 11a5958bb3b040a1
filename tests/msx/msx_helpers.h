#pragma once

// Shared by the MSX tests: sixteen colours with distinct red, green and blue, none on an MSX level.

#include "tests/support/codecs.h"
#include "tests/support/testutil.h"

#include "qev/color/palette.h"
#include "qev/msx/vdp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

// clang-format off
const Color g_aoOddPalette[16] = {
    {3, 5, 7, 0},     {250, 251, 252, 0}, {200, 10, 20, 0}, {10, 200, 30, 0}, {20, 30, 200, 0}, {120, 121, 122, 0},
    {60, 61, 62, 0},  {190, 191, 40, 0},  {40, 190, 191, 0}, {191, 40, 190, 0}, {100, 50, 25, 0}, {25, 100, 50, 0},
    {50, 25, 100, 0}, {160, 80, 40, 0},   {40, 160, 80, 0}, {80, 40, 160, 0}};
// clang-format on
