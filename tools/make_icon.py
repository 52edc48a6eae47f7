#!/usr/bin/env python3
"""Draws the installer's icon: one 32x32 image in the 16 standard colours (4 bits a pixel),
a traffic meter's bars over a dark screen. Writes the .ico file named on the command line."""
import struct
import sys

# The 16 colours of the standard VGA palette, as (red, green, blue).
PALETTE = [(0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128), (128, 0, 0), (128, 0, 128),
           (128, 128, 0), (192, 192, 192), (128, 128, 128), (0, 0, 255), (0, 255, 0),
           (0, 255, 255), (255, 0, 0), (255, 0, 255), (255, 255, 0), (255, 255, 255)]
BLACK, DARK_GRAY, LIGHT_GRAY, WHITE, GREEN, YELLOW, RED = 0, 8, 7, 15, 10, 14, 12


def draw():
    """Returns 32 rows of 32 palette indexes (top row first) and the transparency mask."""
    pixels = [[BLACK] * 32 for _ in range(32)]
    opaque = [[False] * 32 for _ in range(32)]
    for y in range(2, 30):
        for x in range(1, 31):
            opaque[y][x] = True
            edge = y in (2, 29) or x in (1, 30)
            pixels[y][x] = LIGHT_GRAY if edge else (DARK_GRAY if y in (3, 28) or x in (2, 29) else BLACK)
    heights = [6, 10, 8, 14, 19, 12, 16, 22]
    for i, h in enumerate(heights):
        x0 = 4 + i * 3
        for y in range(27 - h, 27):
            colour = RED if y < 9 else (YELLOW if y < 14 else GREEN)
            pixels[y][x0] = pixels[y][x0 + 1] = colour
    for x in range(3, 29):
        pixels[27][x] = WHITE
    return pixels, opaque


def ico(pixels, opaque):
    xor = b''.join(bytes((row[x] << 4) | row[x + 1] for x in range(0, 32, 2))
                   for row in reversed(pixels))
    and_mask = b''.join(struct.pack('>I', sum((0 if row[x] else 1) << (31 - x) for x in range(32)))
                        for row in reversed(opaque))
    header = struct.pack('<IiiHHIIiiII', 40, 32, 64, 1, 4, 0, len(xor) + len(and_mask), 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    image = header + palette + xor + and_mask
    return struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', 32, 32, 16, 0, 1, 4, len(image), 22) + image


if __name__ == '__main__':
    with open(sys.argv[1], 'wb') as out:
        out.write(ico(*draw()))
