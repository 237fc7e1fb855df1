#!/usr/bin/env python3
"""Writes the small image fixtures of the resource reader tests: an 8-bit bitmap with a
magenta background and an icon with a 32-bit 16x16 image and an 8-bit 24x24 image."""
import struct


def dib_header(width, height, bits, colours):
    return struct.pack('<IiiHHIIiiII', 40, width, height, 1, bits, 0, 0, 2835, 2835, colours, 0)


def rows_padded(rows, bytes_per_pixel_row):
    out = b''
    for row in rows:
        data = bytes(row) if not isinstance(row, bytes) else row
        out += data + b'\0' * ((4 - len(data) % 4) % 4)
    return out


def bitmap_8bpp():
    # 4x2: top row magenta, red, green, blue; bottom row all magenta but the last (white).
    palette = [(255, 0, 255), (255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 255)]
    pal = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in palette)
    top = [0, 1, 2, 3]
    bottom = [0, 0, 0, 4]
    bits = rows_padded([bottom, top], 4)  # bottom-up
    dib = dib_header(4, 2, 8, len(palette)) + pal + bits
    return b'BM' + struct.pack('<IHHI', 14 + len(dib), 0, 0, 14 + 40 + len(pal)) + dib


def icon_image_32(size):
    pixels = []
    for y in range(size):
        row = b''
        for x in range(size):
            inside = 2 <= x < size - 2 and 2 <= y < size - 2
            row += struct.pack('<BBBB', 200, 100, 0, 255) if inside else b'\0\0\0\0'
        pixels.append(row)
    xor = b''.join(reversed(pixels))
    mask = rows_padded([b'\0' * ((size + 7) // 8)] * size, 0)
    return dib_header(size, size * 2, 32, 0) + xor + mask


def icon_image_8(size):
    palette = [(0, 0, 0), (0, 128, 0)]
    pal = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in palette)
    pal += b'\0' * 4 * (256 - len(palette))
    rows = [[1 if 4 <= x < size - 4 else 0 for x in range(size)] for _ in range(size)]
    xor = rows_padded(list(reversed(rows)), 0)
    mask_rows = []
    for y in range(size):
        bits = 0
        for x in range(size):
            if not (4 <= x < size - 4):
                bits |= 1 << (size - 1 - x)
        mask_rows.append(bits.to_bytes((size + 7) // 8, 'big'))
    mask = rows_padded(list(reversed(mask_rows)), 0)
    return dib_header(size, size * 2, 8, 256) + pal + xor + mask


def icon_file():
    images = [(16, 32, icon_image_32(16)), (24, 8, icon_image_8(24))]
    header = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, data = b'', b''
    for size, bits, image in images:
        entries += struct.pack('<BBBBHHII', size, size, 0, 0, 1, bits, len(image), offset + len(data))
        data += image
    return header + entries + data


with open('test8.bmp', 'wb') as f:
    f.write(bitmap_8bpp())
with open('test.ico', 'wb') as f:
    f.write(icon_file())
