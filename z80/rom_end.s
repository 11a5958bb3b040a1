; The end of a picture cartridge's code: the directory of pictures follows here
; (rom_start.s describes it). Linked last.
        .module rom_end
        .area   _CODE
rom_directory::
