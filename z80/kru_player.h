/* The KRU player for MSX2/MSX2+ programs written in C with SDCC (4.1 or later).
 *
 * Assemble z80/kru_player.s with sdasz80 (kru_player_core.s beside it) and link
 * its .rel with your program:
 *     sdasz80 -o kru_player.rel kru_player.s
 *     sdcc -mz80 ... main.rel kru_player.rel
 * kru_player_small.s assembles the same player without its fast path: half the
 * size, about 1.3 times the time, the same entries.
 * The routines use SDCC's register calling convention (__sdcccall(1)): the first
 * 16-bit argument in HL, an 8-bit first argument in A with a 16-bit second in DE;
 * the result in A.
 *
 * RAM: 20 bytes of variables (area _DATA) and the 2 KiB ring given to
 * kru_set_ring. The player reads and updates the BIOS's copies of the VDP
 * registers (F3DFh-F3E6h, FFE7h-FFF6h, FFFAh), which it needs to change single
 * bits of registers the chip cannot read back; a program without the BIOS keeps
 * those bytes for it. It disables interrupts while it runs and restores them.
 */
#ifndef KRU_PLAYER_H
#define KRU_PLAYER_H

/* Results of kru_play and kru_play_banked. */
#define KRU_SHOWN 0         /* the picture is on screen */
#define KRU_NOT_A_RECORD 1  /* the address holds no "MSXKRU" record */
#define KRU_NEEDS_MSX2PLUS 2 /* a Screen 10 or 12 picture and a V9938 (MSX2): nothing changed */
#define KRU_DAMAGED 3       /* an unknown command or a stream that ends early */

/* The 2 KiB of RAM the player decompresses through; its address must be a
 * multiple of 2048 (for example 0xC000). Call once before playing. */
void kru_set_ring(void* ring) __sdcccall(1);

/* Replays the KRU record at `record` (in RAM, or in ROM visible without a mapper):
 * palette, registers, video memory, with the display blanked while it loads. */
unsigned char kru_play(const void* record) __sdcccall(1);

/* The same for a record in an ASCII16 MegaROM: `address` in 8000h-BFFFh of `bank`,
 * the cartridge's slot selected in page 2. The record may continue into the next
 * banks; the player selects them at 7000h and leaves the last one selected. */
unsigned char kru_play_banked(unsigned char bank, const void* address) __sdcccall(1);

/* Unpacks one table that qev --export --pack compressed (a lone KRU block) to video
 * memory from `vram` on (0..FFFFh), without touching the registers or the display. */
void kru_unpack(const void* packed, unsigned int vram) __sdcccall(1);

#endif
