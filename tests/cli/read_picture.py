"""Reads an 8-bit RGB PNG or TIFF (uncompressed or LZW) without image libraries and prints
"WIDTH HEIGHT" and then "R G B" for every X,Y given after the file name (a PNG is decoded only
down to the lowest row asked for).

usage: python3 read_picture.py FILE X,Y [X,Y ...]
"""
import struct
import sys
import zlib


def png_pixels(data, last_row):
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG file"
    at, idat = 8, b""
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            assert (depth, colour) == (8, 2), "not 8-bit RGB"
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    raw, stride, rows, previous = zlib.decompress(idat), width * 3, [], bytes(width * 3)
    for y in range(min(height, last_row + 1)):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a, b = line[i - 3] if i >= 3 else 0, previous[i]
            c = previous[i - 3] if i >= 3 else 0
            if kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                predictor = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
            else:
                predictor = [0, a, b, (a + b) // 2][kind]
            line[i] = (line[i] + predictor) & 255
        rows.append(bytes(line))
        previous = line
    return width, height, rows


def lzw_decode(data):
    out, table, width, bits, nbits, previous = bytearray(), [], 9, 0, 0, None
    reset = lambda: [bytes([i]) for i in range(256)] + [b"", b""]
    table = reset()
    for byte in data:
        bits, nbits = (bits << 8) | byte, nbits + 8
        while nbits >= width:
            nbits -= width
            code = (bits >> nbits) & ((1 << width) - 1)
            if code == 257:
                return bytes(out)
            if code == 256:
                table, width, previous = reset(), 9, None
                continue
            entry = table[code] if code < len(table) else previous + previous[:1]
            if previous is not None:
                table.append(previous + entry[:1])
            out += entry
            previous = entry
            width = 12 if len(table) + 1 >= 2048 else 11 if len(table) + 1 >= 1024 else 10 if len(table) + 1 >= 512 else 9
    return bytes(out)


def tiff_pixels(data):
    order = {b"II": "<", b"MM": ">"}[data[:2]]
    assert struct.unpack(order + "H", data[2:4])[0] == 42, "not a TIFF file"
    ifd = struct.unpack(order + "I", data[4:8])[0]
    tags = {}
    for i in range(struct.unpack(order + "H", data[ifd:ifd + 2])[0]):
        tag, kind, count, value = struct.unpack(order + "HHI4s", data[ifd + 2 + 12 * i:ifd + 14 + 12 * i])
        size = {3: 2, 4: 4}.get(kind, 1)
        raw = value if size * count <= 4 else data[struct.unpack(order + "I", value)[0]:][:size * count]
        tags[tag] = list(struct.unpack(order + ("H" if size == 2 else "I" if size == 4 else "B") * count,
                                       raw[:size * count]))
    width, height, compression = tags[256][0], tags[257][0], tags.get(259, [1])[0]
    assert tags.get(277, [1])[0] == 3 and tags.get(258, [8])[0] == 8, "not 8-bit RGB"
    assert tags.get(317, [1])[0] == 1, "predictor not supported"
    assert compression in (1, 5), "compression not supported"
    pixels = bytearray()
    for offset, count in zip(tags[273], tags[279]):
        strip = data[offset:offset + count]
        pixels += lzw_decode(strip) if compression == 5 else strip
    stride = width * 3
    return width, height, [pixels[y * stride:(y + 1) * stride] for y in range(height)]


def main():
    data = open(sys.argv[1], "rb").read()
    points = [tuple(int(v) for v in point.split(",")) for point in sys.argv[2:]]
    last_row = max([y for _, y in points], default=0)
    width, height, rows = png_pixels(data, last_row) if data[:4] == b"\x89PNG" else tiff_pixels(data)
    print(width, height)
    for x, y in points:
        print(*rows[y][3 * x:3 * x + 3])


main()
