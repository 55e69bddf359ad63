#!/usr/bin/python3
"""Generates the Big5-to-GB2312 conversion table used by Big5ToGB.

Run by hand when the table must be rebuilt; the build only uses its output.
For every Big5 double-byte position (lead 0xA1-0xFE, 157 trail positions:
0x40-0x7E then 0xA1-0xFE) the character is decoded with glibc's iconv
(BIG5), folded from traditional to simplified with OpenCC (t2s), and
encoded as GB2312 with iconv. When the simplified form has no GB2312 code
the character itself is tried; when neither has one, or the position is not
a Big5 character, the entry is 0x2020 (two ASCII spaces). Position 0
(0xA140, the ideographic space) is 0x2020 as well: the texts show it as two
plain spaces.

Writes:
  src/texts/big5_gb_table.inc     the 14758 entries, 16 per line
  tests/texts/data/big5_simplified.txt  per position: the decoded character
                                      and OpenCC's simplified form, so the
                                      tests can check every entry without
                                      OpenCC installed

Needs: python3, the opencc command (Debian package opencc), glibc iconv.
Usage: tools/gen_big5_table.py [repository root]
"""

import ctypes
import ctypes.util
import os
import subprocess
import sys

LEADS = range(0xA1, 0xFF)
TRAIL_POSITIONS = 157
TABLE_SIZE = len(LEADS) * TRAIL_POSITIONS  # 14758
NO_COUNTERPART = 0x2020
# Big5 0xA140: GB2312 has an ideographic space, but the texts want spaces.
FORCED_ENTRIES = {0: NO_COUNTERPART}


class Iconv:
    """One glibc iconv conversion; convert() returns None on any failure."""

    _libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
    _libc.iconv_open.restype = ctypes.c_void_p
    _libc.iconv_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
    _libc.iconv.restype = ctypes.c_size_t
    _libc.iconv.argtypes = [ctypes.c_void_p,
                            ctypes.POINTER(ctypes.c_char_p),
                            ctypes.POINTER(ctypes.c_size_t),
                            ctypes.POINTER(ctypes.c_char_p),
                            ctypes.POINTER(ctypes.c_size_t)]

    def __init__(self, to_code, from_code):
        self._cd = self._libc.iconv_open(to_code.encode(), from_code.encode())
        if self._cd in (None, ctypes.c_void_p(-1).value):
            raise OSError(f"iconv cannot convert {from_code} to {to_code}")

    def convert(self, data):
        self._libc.iconv(self._cd, None, None, None, None)  # reset state
        in_buf = ctypes.create_string_buffer(data, len(data))
        out_buf = ctypes.create_string_buffer(64)
        in_ptr = ctypes.c_char_p(ctypes.addressof(in_buf))
        out_ptr = ctypes.c_char_p(ctypes.addressof(out_buf))
        in_left = ctypes.c_size_t(len(data))
        out_left = ctypes.c_size_t(len(out_buf))
        result = self._libc.iconv(self._cd, ctypes.byref(in_ptr), ctypes.byref(in_left),
                                  ctypes.byref(out_ptr), ctypes.byref(out_left))
        if result == ctypes.c_size_t(-1).value or in_left.value != 0:
            return None
        flushed = self._libc.iconv(self._cd, None, None, ctypes.byref(out_ptr),
                                   ctypes.byref(out_left))
        if flushed == ctypes.c_size_t(-1).value:
            return None
        return out_buf.raw[:len(out_buf) - out_left.value]


def big5_pair(index):
    lead = 0xA1 + index // TRAIL_POSITIONS
    position = index % TRAIL_POSITIONS
    trail = 0x40 + position if position < 63 else 0xA1 + position - 63
    return bytes([lead, trail])


def decode_big5(big5_to_utf8, pair):
    raw = big5_to_utf8.convert(pair)
    if raw is None:
        return None
    text = raw.decode("utf-8")
    return text if len(text) == 1 else None


def simplify_all(characters):
    """OpenCC t2s of each character on its own, in one run of the tool."""
    result = subprocess.run(["opencc", "-c", "t2s"], input="\n".join(characters) + "\n",
                            capture_output=True, text=True, encoding="utf-8", check=True)
    lines = result.stdout.split("\n")[:len(characters)]
    if len(lines) != len(characters):
        raise RuntimeError("opencc returned fewer lines than it was given")
    return lines


def gb2312_code(utf8_to_gb, gb_to_utf8, text):
    """The GB2312 code of a one-character text when it round-trips, else None."""
    if len(text) != 1:
        return None
    encoded = utf8_to_gb.convert(text.encode("utf-8"))
    if encoded is None or len(encoded) != 2:
        return None
    if gb_to_utf8.convert(encoded) != text.encode("utf-8"):
        return None
    return encoded[0] << 8 | encoded[1]


def build(root):
    big5_to_utf8 = Iconv("UTF-8", "BIG5")
    utf8_to_gb = Iconv("GB2312", "UTF-8")
    gb_to_utf8 = Iconv("UTF-8", "GB2312")

    traditional = [decode_big5(big5_to_utf8, big5_pair(i)) for i in range(TABLE_SIZE)]
    decodable = [i for i, c in enumerate(traditional) if c is not None]
    simplified = [None] * TABLE_SIZE
    for i, s in zip(decodable, simplify_all([traditional[i] for i in decodable])):
        simplified[i] = s

    table = []
    for i in range(TABLE_SIZE):
        code = None
        if traditional[i] is not None:
            code = (gb2312_code(utf8_to_gb, gb_to_utf8, simplified[i])
                    or gb2312_code(utf8_to_gb, gb_to_utf8, traditional[i]))
        table.append(FORCED_ENTRIES.get(i, code or NO_COUNTERPART))

    write_table(os.path.join(root, "src/texts/big5_gb_table.inc"), table)
    write_expectations(os.path.join(root, "tests/texts/data/big5_simplified.txt"),
                       traditional, simplified)
    mapped = sum(1 for v in table if v != NO_COUNTERPART)
    print(f"{TABLE_SIZE} entries, {len(decodable)} Big5 characters, {mapped} with a GB2312 code")


def write_table(path, table):
    with open(path, "w", encoding="ascii", newline="\n") as out:
        out.write("// Generated by tools/gen_big5_table.py; do not edit.\n")
        out.write("// Big5 position (lead 0xA1-0xFE x 157 trails) -> GB2312 code, 0x2020 = none.\n")
        for start in range(0, len(table), 16):
            row = table[start:start + 16]
            out.write(",".join(f"0x{v:04X}" for v in row) + ",\n")


def code_points(text):
    return "+".join(f"U+{ord(c):04X}" for c in text) if text else "-"


def write_expectations(path, traditional, simplified):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="ascii", newline="\n") as out:
        out.write("# Generated by tools/gen_big5_table.py; do not edit.\n")
        out.write("# index big5 traditional simplified ('-' = not a Big5 character)\n")
        for i in range(TABLE_SIZE):
            out.write(f"{i} {big5_pair(i).hex().upper()} "
                      f"{code_points(traditional[i])} {code_points(simplified[i])}\n")


if __name__ == "__main__":
    repository = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(
        os.path.dirname(os.path.abspath(__file__)))
    build(repository)
