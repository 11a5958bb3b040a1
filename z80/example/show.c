/* The smallest C program that shows a picture with the KRU player: the record
 * lies in the cartridge at 6000h, the ring in RAM at C000h. */
#include "kru_player.h"

void picture_shown(void);

void main(void)
{
    kru_set_ring((void*)0xC000);
    if (kru_play((const void*)0x6000) == KRU_SHOWN) picture_shown();
    for (;;)
        ;
}
