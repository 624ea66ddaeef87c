#!/usr/bin/env python3
"""Writes the quillbox-tool fixtures in this folder: a three-patch library with its side file and
the output `quillbox-tool list` and `list --details` must give for it. Run it from anywhere."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
ALPHABET = " '<>*+-/0123456789[=]@ABCDEFGHIJKLMNOPQRSTUVWXYZ  "


def image(name, drive, cab_type, speaker, drive_on, cab_on, filler):
    """An 18-byte patch image; `filler` fills the bytes no field uses, to show they are carried."""
    b = bytearray([filler] * 18)
    b[0] = (filler & 0xE0) | drive
    b[2] = (filler & 0x81) | (cab_type << 1) | (speaker << 4)
    n = 0
    for c, ch in enumerate(name):
        n |= ALPHABET.index(ch) << (5 + 6 * c)
    n |= (filler & 0x1F)  # bits 0-4 of byte 12 are carried
    n |= (1 << 41) if drive_on else 0
    n |= (1 << 42) if cab_on else 0
    n |= (filler & 0xF8) << 40  # bits 3-7 of byte 17
    b[11:17] = n.to_bytes(6, "little")
    return bytes(b)


store = (image("CRUNCH", 4, 3, 3, True, True, 0x5A)
         + image("LEAD 1", 9, 1, 1, True, False, 0xA5)
         + image("CLEAN ", 0, 0, 0, False, True, 0x00))
with open(os.path.join(HERE, "sample.pslib"), "wb") as f:
    f.write(b"\x01" + store[::-1])
with open(os.path.join(HERE, "sample.pslib.txt"), "wb") as f:
    f.write(b"[Description]\r\n1=Crunch for the verse\r\n2=Lead&*&with delay\r\n3=\r\n")
with open(os.path.join(HERE, "sample.list"), "w", newline="\n") as f:
    f.write("01:  CRUNCH\n02:  LEAD 1\n03:  CLEAN \n")
with open(os.path.join(HERE, "sample.details"), "w", newline="\n") as f:
    f.write('01:  CRUNCH\tUK-Crunch\tStack\tStack 4*10"\ton\ton\tCrunch for the verse\n'
            '02:  LEAD 1\tSoldano\tBright Combo\tCombo 2*12"\ton\toff\tLead\\nwith delay\n'
            '03:  CLEAN \tUS-Clean\tCombo\tCombo 1*12"\toff\ton\t\n')
