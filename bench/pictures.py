"""The pictures bench/run converts: bitmaps it writes itself, from a seeded
random generator, and PNGs that ImageMagick draws."""

import shutil
import struct
import subprocess
import zlib


def info_header(width, height, bits, compression, image_size, colours):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, image_size, 2835, 2835,
                       colours, 0)


def file_header(offset, image_size):
    return b"BM" + struct.pack("<IHHI", offset + image_size, 0, 0, offset)


def bitmap(path, width, height, rng, top_down=False):
    """A 24-bit bitmap of random colours, stored bottom-up unless top_down."""
    stride = (3 * width + 3) & ~3
    with open(path, "wb") as f:
        f.write(file_header(54, stride * height) +
                info_header(width, -height if top_down else height, 24, 0, stride * height, 0))
        pixels = rng.randbytes(3 * width * height)
        padding = bytes(stride - 3 * width)
        if padding:
            for row in range(height):
                f.write(pixels[3 * width * row : 3 * width * (row + 1)] + padding)
        else:
            f.write(pixels)


def palette_bitmap(path, width, height, rng):
    """A bottom-up 8-bit bitmap of random indices into 256 random colours."""
    stride = (width + 3) & ~3
    palette = b"".join(rng.randbytes(3) + b"\0" for _ in range(256))
    offset = 54 + len(palette)
    with open(path, "wb") as f:
        f.write(file_header(offset, stride * height) + info_header(width, height, 8, 0, stride * height, 256))
        f.write(palette)
        padding = bytes(stride - width)
        for _ in range(height):
            f.write(rng.randbytes(width) + padding)


def rle8_row(width, rng):
    """One row of RLE8 codes: encoded runs of 1 to 255 pixels of one random
    index, about one in four replaced by an absolute run of 3 to 255 random
    indices, then end of line."""
    codes = bytearray()
    left = width
    while left:
        n = min(rng.randint(1, 255), left)
        if n >= 3 and rng.random() < 0.25:
            codes += bytes((0, n)) + rng.randbytes(n)
            if n % 2:
                codes.append(0)
        else:
            codes += bytes((n, rng.randrange(256)))
        left -= n
    return bytes(codes) + b"\0\0"


def rle8_bitmap(path, width, height, rng):
    """A bottom-up RLE8 bitmap with a 256-entry palette of random colours."""
    palette = b"".join(rng.randbytes(3) + b"\0" for _ in range(256))
    stream = b"".join(rle8_row(width, rng) for _ in range(height)) + b"\0\1"
    offset = 54 + len(palette)
    with open(path, "wb") as f:
        f.write(file_header(offset, len(stream)) + info_header(width, height, 8, 1, len(stream), 256))
        f.write(palette)
        f.write(stream)


def imagemagick():
    """ImageMagick's convert, or None."""
    return shutil.which("convert-im6.q16") or shutil.which("convert")


def photo_png(path, size, depth, convert):
    """A photo-like PNG: ImageMagick's plasma fractal, its default
    compression, 8 or 16 bits a sample."""
    subprocess.run([convert, "-seed", "2026", "-size", f"{size}x{size}", "plasma:", "-depth", str(depth), str(path)],
                   check=True)


def flat_png(path, size, convert):
    """A PNG of flat areas in a few colours, as user-interface art is: a
    palette of 8 colours, shapes without antialiasing."""
    s = size / 4096
    shapes = [("#8d99ae", f"roundrectangle {200*s},{200*s} {3800*s},{1200*s} {60*s},{60*s}"),
              ("#ef233c", f"circle {2048*s},{2600*s} {2048*s},{3400*s}"),
              ("#edf2f4", f"rectangle {400*s},{3600*s} {3600*s},{3900*s}"),
              ("#d90429", f"polygon {100*s},{1500*s} {900*s},{1500*s} {500*s},{2300*s}")]
    argv = [convert, "-size", f"{size}x{size}", "xc:#2b2d42", "+antialias"]
    for colour, shape in shapes:
        argv += ["-fill", colour, "-draw", shape]
    subprocess.run(argv + ["-colors", "8", "-depth", "8", str(path)], check=True)


def _chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def _png(width, height, depth, colour, interlaced, idat_chunks):
    ihdr = struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, int(interlaced))
    return (b"\x89PNG\r\n\x1a\n" + _chunk(b"IHDR", ihdr) + b"".join(_chunk(b"IDAT", c) for c in idat_chunks)
            + _chunk(b"IEND", b""))


def tiny_chunks_png(path, size, rng):
    """An RGB PNG of random colours whose image data is cut into IDAT chunks
    of one byte each, as a streaming writer with a tiny buffer leaves it."""
    raw = b"".join(b"\0" + rng.randbytes(3 * size) for _ in range(size))
    data = zlib.compress(raw, 6)
    with open(path, "wb") as f:
        f.write(_png(size, size, 8, 2, False, [data[i:i + 1] for i in range(len(data))]))


def hollow_interlaced_png(path):
    """An interlaced PNG that claims 65535 x 32767 RGBA pixels (8 GiB of
    words) and holds a zlib stream of two bytes: a broken file of 69 bytes."""
    with open(path, "wb") as f:
        f.write(_png(65535, 32767, 8, 6, True, [b"\x78\x9c"]))
