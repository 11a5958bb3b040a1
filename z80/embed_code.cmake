# Writes the cartridge code (INPUT, a binary linked at 4000h) as the byte table of
# qev/files/rom_code.h, with the player's size read from its object (PLAYER).
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n    " bytes "${bytes}")
file(STRINGS ${PLAYER} code_line REGEX "^A _CODE size")
string(REGEX MATCH "size ([0-9A-Fa-f]+)" _ "${code_line}")
math(EXPR player_size "0x${CMAKE_MATCH_1}" OUTPUT_FORMAT DECIMAL)
file(WRITE ${OUTPUT} "// Generated from z80/*.s at build time: the picture cartridge's code.\n"
    "#include \"qev/files/rom_code.h\"\n\n"
    "const unsigned char g_aucROMCode[] = {\n    ${bytes}\n};\n"
    "const int g_iROMCodeSize = ${size};\n"
    "const int g_iKRUPlayerSize = ${player_size};\n")
