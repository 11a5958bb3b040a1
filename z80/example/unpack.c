/* Unpacking a table exported with qev --export=bin --pack: the packed pattern
 * table lies in the cartridge at 6000h and goes to video memory at 0000h. The
 * build links it with the small player, kru_player_small.s. */
#include "kru_player.h"

void picture_shown(void);

void main(void)
{
    kru_set_ring((void*)0xC000);
    kru_unpack((const void*)0x6000, 0x0000);
    picture_shown();
    for (;;)
        ;
}
