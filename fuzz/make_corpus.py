#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Each seed is a small valid input that leads the target into one of its main paths; the fuzzer
mutates from there. Run it again after changing a target's input layout; seeds kept as
regressions of found faults (named regression-*) are left alone.
"""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def word(n):
    return struct.pack("<H", n & 0xFFFF)


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# Frame of the assembler target: op 0 begins a frame with format, last-frame byte, depth choice,
# pixels (offset by -1), extra line bytes (offset by -1), lines (offset by -2); op 3 adds data
# (length word, bytes); op 5 ends the frame; op 6 takes the page.
DEPTHS = {8: 0, 1: 1, 16: 2}


def frame(fmt, last, depth, pixels, lines, extra=0):
    return bytes([0, fmt, 1 if last else 0, DEPTHS[depth]]) + word(pixels + 1) + word(extra + 1) + word(lines + 2)


def data(payload):
    return bytes([3]) + word(len(payload)) + payload


def line_bytes(fmt, depth, pixels):
    samples = 3 if fmt == 1 else 1
    return (pixels * samples * depth + 7) // 8


def assembler_seeds():
    ramp = lambda n: bytes((i * 37) & 0xFF for i in range(n))
    seeds = {}
    # 8-bit grey, 4 x 3, data in one piece.
    seeds["grey8"] = word(300) + frame(0, True, 8, 4, 3) + data(ramp(12)) + bytes([5, 6])
    # 8-bit colour with padded lines, split across two calls.
    bpl = line_bytes(1, 8, 5) + 2
    body = ramp(bpl * 2)
    seeds["rgb8-split"] = (word(150) + frame(1, True, 8, 5, 2, extra=2) + data(body[:7]) + data(body[7:])
                           + bytes([5, 6]))
    # Line art and 16-bit grey.
    seeds["lineart"] = word(600) + frame(0, True, 1, 10, 2) + data(b"\xA5\x80\x3C\x40") + bytes([5, 6])
    seeds["grey16"] = word(200) + frame(0, True, 16, 3, 2) + data(ramp(12)) + bytes([5, 6])
    # Hand scanner: height unknown, last line cut short.
    seeds["unknown-height"] = word(100) + frame(0, True, 8, 3, -1) + data(ramp(10)) + bytes([5, 6])
    # Three-pass colour.
    three = word(75)
    for fmt, last in ((2, False), (3, False), (4, True)):
        three += frame(fmt, last, 8, 3, 2) + data(ramp(6)) + bytes([5])
    seeds["three-pass"] = three + bytes([6])
    # A refused page (too many lines), then a good one.
    seeds["refused-then-good"] = (word(300) + frame(0, True, 8, 2, 1) + data(ramp(4)) + bytes([5])
                                  + frame(0, True, 8, 2, 1) + data(ramp(2)) + bytes([5, 6]))
    for name, seed in seeds.items():
        write("pageassembler", name, seed)


def bmp(width, height, bits, pixels, palette=b"", header=40, top_down=False, ppm=5906, masks=b""):
    info = struct.pack("<IiiHHIIiiII", header, width, -height if top_down else height, 1, bits,
                       3 if masks else 0, len(pixels), ppm, ppm, len(palette) // 4, 0)
    info += b"\0" * (header - 40) if header > 40 else b""
    offset = 14 + len(info) + len(masks) + len(palette)
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + info + masks + palette + pixels


def rows(width, height, bytes_per_pixel, fill):
    stride = (width * bytes_per_pixel + 3) // 4 * 4
    out = b""
    for y in range(height):
        row = bytes(fill(x, y) for x in range(width * bytes_per_pixel))
        out += row + b"\0" * (stride - len(row))
    return out


def page_seeds():
    grey = b"".join(bytes([i, i, i, 0]) for i in range(256))
    dark_box = lambda x, y: 20 if 2 <= x // 3 < 6 and 4 <= y < 9 else 250
    seeds = {
        # A page with a dark box below row 3, as the crop wants it; measure limit.
        "rgb24-box": bytes([0]) + bmp(10, 12, 24, rows(10, 12, 3, dark_box)),
        # The same, top-down rows and another crop limit.
        "rgb24-topdown": bytes([200]) + bmp(10, 12, 24, rows(10, 12, 3, dark_box), top_down=True),
        # 8-bit grey with its table; content starting in row 3.
        "grey8": bytes([0]) + bmp(8, 8, 8, rows(8, 8, 1, lambda x, y: 10 if y >= 3 and x > 2 else 240), grey),
        # 1-bit and 4-bit with two- and sixteen-colour tables.
        "mono1": bytes([0]) + bmp(16, 6, 1, rows(2, 6, 1, lambda x, y: 0x0F if y > 3 else 0xFF),
                                 b"\0\0\0\0\xff\xff\xff\0"),
        "nibble4": bytes([0]) + bmp(6, 5, 4, rows(3, 5, 1, lambda x, y: 0x1E), bytes(range(64))),
        # 16-bit 5-6-5 with bit fields, 32-bit, and an empty page of 5 x 5.
        "rgb565": bytes([0]) + bmp(4, 4, 16, rows(8, 4, 1, lambda x, y: 0x1F * y),
                                  masks=struct.pack("<III", 0xF800, 0x07E0, 0x001F)),
        "argb32": bytes([0]) + bmp(3, 5, 32, rows(3, 5, 4, lambda x, y: 40 * (x % 4))),
        "white": bytes([0]) + bmp(5, 5, 24, rows(5, 5, 3, lambda x, y: 255)),
        # A core header of 12 bytes.
        "core12": bytes([0]) + b"BM" + struct.pack("<IHHI", 26 + 12, 0, 0, 26)
        + struct.pack("<IHHHH", 12, 2, 2, 1, 24) + rows(2, 2, 3, lambda x, y: 0),
    }
    for name, seed in seeds.items():
        write("pagestep", name, seed)


def dib_seeds():
    grey = b"".join(bytes([i, i, i, 0]) for i in range(256))
    sepia = b"".join(bytes([i // 2, i * 3 // 4, i, 0]) for i in range(256))
    seeds = {
        "grey8": bytes([75]) + bmp(9, 7, 8, rows(9, 7, 1, lambda x, y: x * 25), grey)[14:],
        "palette8": bytes([90]) + bmp(5, 4, 8, rows(5, 4, 1, lambda x, y: y * 60), sepia)[14:],
        "rgb24": bytes([50]) + bmp(7, 3, 24, rows(7, 3, 3, lambda x, y: (x * 30 + y) & 0xFF))[14:],
        "rgb24-topdown": bytes([100]) + bmp(4, 4, 24, rows(4, 4, 3, lambda x, y: 128), top_down=True)[14:],
        "no-resolution": bytes([1]) + bmp(3, 3, 24, rows(3, 3, 3, lambda x, y: 0), ppm=0)[14:],
        "truncated": bytes([75]) + bmp(20, 20, 24, rows(20, 20, 3, lambda x, y: 0))[14:200],
    }
    for name, seed in seeds.items():
        write("dibwriter", name, seed)


def text_seeds():
    # Language files: the layout is a count of lookups (word), then per lookup a length word and
    # characters (bytes indexing the target's alphabet), then the file.
    lookups = word(2) + word(3) + b"\x00\x01\x03" + word(2) + b"\x04\x05"
    lng = {
        "ansi": "Datei~File\r\n&Öffnen~&Open\r\nSpeichern:~Save:\r\nNeu~\r\n".encode("cp1252"),
        "utf8-bom": b"\xef\xbb\xbf" + "Schließen~Close\r\n€~Euro\r\n".encode("utf-8"),
        "utf16le": b"\xff\xfe" + "Hilfe~Help\r\n&Ende~E&xit\r\n".encode("utf-16-le"),
        "lf-only": b"a~b\nc\n\n~x\nd~&e\n",
        "binary": b"a~b\0c\r\n",
    }
    for name, content in lng.items():
        write("languagefile", name, lookups + content)

    # Settings texts: flag byte 0 for file bytes (code page choice, bytes), 1 for a written text.
    settings = {
        "ansi": b"\x00\x03" + "Müller <m@example.org>\r\nSchmidt\r\n".encode("cp1252"),
        "utf8-bom": b"\x00\x00\xef\xbb\xbf" + "Grüße\r\n€\r\n".encode("utf-8"),
        "utf16le-odd": b"\x00\x01\xff\xfe" + "Zeile\r\n".encode("utf-16-le") + b"\x41",
        "utf16be": b"\x00\x05\xfe\xff" + "Zeile\n".encode("utf-16-be"),
        "bad-utf8": b"\x00\x02\xef\xbb\xbf\xc3\x28\xff",
        "written": b"\x01" + word(6) + bytes([0, 1, 3, 4, 5, 2]),
        "written-marklike": b"\x01" + word(4) + bytes([8, 9, 10, 0]),
    }
    for name, content in settings.items():
        write("settingstext", name, content)

    # Profiles: encoding choice, section, key, value, other section, other key (each a length
    # word and characters indexing the target's alphabets), then the file.
    def text(*indices):
        return word(len(indices)) + bytes(indices)
    names = text(0, 1, 2) + text(1, 2)
    profile = {
        "ansi": b"\x00" + names + text(0, 1, 2, 3) + text(0) + text(1)
        + b"[Aab]\r\nab=old\r\n[A]\r\nb=1\r\n",
        "new-section": b"\x00" + text(2, 2) + text(1) + text(5, 0, 5) + names + b"; comment\r\n[x]\r\ny=z",
        "utf8": b"\x01" + names + text(9, 10, 11) + names + "[Aab]\nab = \"ä\"\n".encode("utf-8"),
        "utf16le": b"\x02" + names + text(0, 12) + names + "[aab]\r\nAB=1\r\n".encode("utf-16-le"),
        "no-file": b"\x04" + names + text(0, 0) + names,
        "refused-key": b"\x00" + text(0) + text(6, 0) + text(0) + names + b"[A]\r\n",
    }
    for name, content in profile.items():
        write("profile", name, content)

    # Integers: default (two words), flag 1, then UTF-8 text.
    for name, value in {"hex": "0x46", "dollar": "$14", "negative": " -2147483648 ", "overflow": "2147483648",
                        "wrap": "$FFFFFFFF", "text": "abc", "short-0x": "0x", "long-hex": "0x123456789"}.items():
        write("profileint", name, word(10) + word(0) + b"\x01" + value.encode("utf-8"))

    # Encoders: flag 1 for quoted-printable, 0 for base64 (piece count, piece sizes, bytes).
    write("encoders", "qp-text", b"\x01" + "Grüße, Welt = 1\r\n\ttab".encode("cp1252") + b"x" * 90)
    write("encoders", "qp-binary", b"\x01" + bytes(range(256)))
    write("encoders", "base64-line", b"\x00" + word(0) + bytes(range(57)))
    write("encoders", "base64-pieces", b"\x00" + word(2) + word(2) + word(99) + bytes(range(200)))
    write("encoders", "base64-pad", b"\x00" + word(1) + word(0) + b"ab")


def main():
    assembler_seeds()
    page_seeds()
    dib_seeds()
    text_seeds()
    return 0


if __name__ == "__main__":
    sys.exit(main())
