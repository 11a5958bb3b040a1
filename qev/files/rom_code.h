#pragma once

// The picture cartridge's Z80 code, assembled from z80/ at build time: the ROM
// header at 4000h, the start-up and the KRU player, ending where the directory of
// pictures begins (the directory and the records follow at g_iROMCodeSize).
extern const unsigned char g_aucROMCode[];
extern const int g_iROMCodeSize;

// The size in bytes of the KRU player alone (z80/kru_player.s).
extern const int g_iKRUPlayerSize;
