#!/bin/sh
# Writes the side-file fixtures the way the original platform writes them: Windows-1252 text with
# CR LF line ends. Run from anywhere; the files land beside this script.
set -eu
cd "$(dirname "$0")"

# A side file as a long-lived library leaves it: a comment line, a section before and after the
# descriptions, letters outside ASCII (0xE9 e-acute, 0xFC u-umlaut, 0x80 euro sign), a blank line,
# and keys 6 and 7 left over from a time when the library was longer.
printf '%s\r\n' \
    '; Quillbox descriptions' \
    '[Device]' \
    'Model=PS02' \
    '' \
    '[Description]' \
    '1=Crunch for the verse' \
    '2=Lead&*&with delay' \
    "3=Caf$(printf '\351') solo $(printf '\200') 5" \
    '4=' \
    "5=Clean&*&&*&Chorus $(printf '\351')t$(printf '\351')" \
    '6=old six' \
    '7=old seven' \
    '' \
    '[Settings]' \
    "Owner=Ren$(printf '\351') M$(printf '\374')ller" \
    'Last=7' >sidefile_original.pslib.txt

# The same kind of file cut off in the middle of its last line.
printf '[Description]\r\n1=First\r\n2=Sec' >sidefile_truncated.pslib.txt

# Not a side file at all: a library file chosen by mistake (marker byte, then binary data).
printf '\001\000\377\015\012[\000Description]\015=\200\201\000' >sidefile_corrupt.pslib.txt
