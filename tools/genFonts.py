#!/usr/bin/env python3
"""Writes display/fontData.cpp: the five LCD fonts of lumiro.

The glyphs of the printable ASCII codes come from the Terminus console fonts
of Debian's console-setup-linux package (/usr/share/consolefonts, SIL Open
Font License 1.1; the notice is kept in display/fonts-LICENSE.txt). The
symbols 128 to 131 (degree, the mask dot, the list arrows up and down) are
drawn here. Codes 127 and 132 have no glyph.

Layout of each font: for the codes 32 to 132, a width, and the glyph's rows
top to bottom, each row (width + 7) / 8 bytes with the leftmost pixel in the
top bit.

  font 1  16 rows, 8 wide          Lat15-Terminus16
  font 2  16 rows, proportional    Lat15-TerminusBold16, cropped to its ink
  font 3  32 rows, 16 wide         Lat15-Terminus32x16
  font 4  26 rows, proportional    Lat15-TerminusBold24x12, a blank row above
                                   and below, ink plus 4 columns (the
                                   advance of fonts 4 and 5 is width - 3)
  font 5  48 rows, 24 wide         Lat15-Terminus24x12 doubled

Run once: python3 tools/genFonts.py (from the top of the tree).
"""
import gzip
import os
import struct
import sys

FONT_DIR = "/usr/share/consolefonts"
FIRST, LAST = 32, 132
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "display", "fontData.cpp")


def read_psf(name):
    data = gzip.open(os.path.join(FONT_DIR, name + ".psf.gz")).read()
    if data[:2] == b"\x36\x04":
        mode, charsize = data[2], data[3]
        count = 512 if mode & 1 else 256
        height, width, off = charsize, 8, 4
        has_table = bool(mode & 6)
        glyphs = [data[off + i * charsize: off + (i + 1) * charsize] for i in range(count)]
        table = data[off + count * charsize:]
        umap = {}
        if has_table:
            pos, g = 0, 0
            while g < count and pos + 1 < len(table):
                (u,) = struct.unpack_from("<H", table, pos)
                pos += 2
                if u == 0xFFFF:
                    g += 1
                elif u != 0xFFFE:
                    umap.setdefault(u, g)
        stride = 1
    elif data[:4] == b"\x72\xb5\x4a\x86":
        _, hsize, flags, count, charsize, height, width = struct.unpack_from("<IIIIIII", data, 4)
        glyphs = [data[hsize + i * charsize: hsize + (i + 1) * charsize] for i in range(count)]
        table = data[hsize + count * charsize:]
        umap = {}
        if flags & 1:
            g, pos = 0, 0
            seq = False
            while g < count and pos < len(table):
                b = table[pos]
                if b == 0xFF:
                    g += 1
                    seq = False
                    pos += 1
                    continue
                if b == 0xFE:
                    seq = True
                    pos += 1
                    continue
                # one UTF-8 character
                n = 1 if b < 0x80 else 2 if b < 0xE0 else 3 if b < 0xF0 else 4
                ch = table[pos:pos + n].decode("utf-8")
                pos += n
                if not seq:
                    umap.setdefault(ord(ch), g)
        stride = (width + 7) // 8
    else:
        sys.exit("unknown font file " + name)
    out = {}
    for code in range(FIRST, 127):
        g = umap.get(code, code)
        rows = []
        raw = glyphs[g]
        for r in range(height):
            bits = 0
            for b in range(stride):
                bits = (bits << 8) | raw[r * stride + b]
            rows.append([(bits >> (stride * 8 - 1 - x)) & 1 for x in range(width)])
        out[code] = rows
    return width, height, out


def crop(rows):
    cols = [x for x in range(len(rows[0])) if any(r[x] for r in rows)]
    if not cols:
        return None
    lo, hi = cols[0], cols[-1]
    return [r[lo:hi + 1] for r in rows]


def blank(w, h):
    return [[0] * w for _ in range(h)]


def symbols(w, h, top, ink_h):
    """Degree, mask dot, arrow up, arrow down in a w x h cell whose letters
    use the rows top .. top + ink_h."""
    out = {}
    # 128 degree: a ring in the upper third.
    g = blank(w, h)
    d = max(5, (min(w, ink_h) * 5) // 8)
    x0 = (w - d) // 2
    y0 = top + max(0, ink_h // 12)
    t = max(1, d // 5)
    for y in range(d):
        for x in range(d):
            cx, cy = x - (d - 1) / 2, y - (d - 1) / 2
            r = (cx * cx + cy * cy) ** 0.5
            if d / 2 - t - 0.3 <= r <= d / 2:
                g[y0 + y][x0 + x] = 1
    out[128] = g
    # 129 mask: a filled dot in the middle of the letters.
    g = blank(w, h)
    d = max(3, w // 2)
    x0 = (w - d) // 2
    y0 = top + (ink_h - d) // 2
    for y in range(d):
        for x in range(d):
            cx, cy = x - (d - 1) / 2, y - (d - 1) / 2
            if cx * cx + cy * cy <= (d / 2) ** 2 + 0.25:
                g[y0 + y][x0 + x] = 1
    out[129] = g
    # 130 more above: a triangle pointing up; 131 more below: pointing down.
    half = max(2, (w - 2) // 2)
    rows = half + 1
    y0 = top + (ink_h - rows) // 2
    up = blank(w, h)
    for i in range(rows):
        span = (i * half) // (rows - 1)
        for x in range(w // 2 - span - 1 + (w % 2), w // 2 + span + (w % 2)):
            if 0 <= x < w:
                up[y0 + i][x] = 1
    out[130] = up
    out[131] = [list(up[y0 + rows - 1 - (y - y0)]) if y0 <= y < y0 + rows else list(up[y]) for y in range(h)]
    return out


def pad_rows(rows, above, below):
    w = len(rows[0])
    return blank(w, above) + rows + blank(w, below)


def double(rows):
    out = []
    for r in rows:
        wide = [b for b in r for _ in range(2)]
        out.append(wide)
        out.append(list(wide))
    return out


def ink_rows(glyphs, letters="HXgy"):
    ys = [y for c in letters for y, r in enumerate(glyphs[ord(c)]) if any(r)]
    return min(ys), max(ys) - min(ys) + 1


def build():
    fonts = []
    # Font 1: fixed 8 x 16.
    w, h, g = read_psf("Lat15-Terminus16")
    top, ink = ink_rows(g)
    g.update(symbols(w, h, top, ink))
    fonts.append((h, g))
    # Font 2: bold 16 rows, cropped to the ink.
    w, h, g = read_psf("Lat15-TerminusBold16")
    top, ink = ink_rows(g)
    prop = {}
    for c, rows in g.items():
        c2 = crop(rows)
        prop[c] = c2 if c2 else blank(3, h)
    prop.update(symbols(w, h, top, ink))
    fonts.append((h, prop))
    # Font 3: fixed 16 x 32.
    w, h, g = read_psf("Lat15-Terminus32x16")
    top, ink = ink_rows(g)
    g.update(symbols(w, h, top, ink))
    fonts.append((h, g))
    # Font 4: bold 24 rows padded to 26, ink + 4 columns.
    w, h, g = read_psf("Lat15-TerminusBold24x12")
    top, ink = ink_rows(g)
    prop = {}
    for c, rows in g.items():
        c2 = crop(rows)
        c2 = [r + [0] * 4 for r in c2] if c2 else blank(8, h)
        prop[c] = pad_rows(c2, 1, 1)
    for c, rows in symbols(w + 4, h, top, ink).items():
        prop[c] = pad_rows(rows, 1, 1)
    fonts.append((h + 2, prop))
    # Font 5: 24 x 48, the 12 x 24 glyphs doubled.
    w, h, g = read_psf("Lat15-Terminus24x12")
    big = {c: double(rows) for c, rows in g.items()}
    top, ink = ink_rows(big)
    big.update(symbols(2 * w, 2 * h, top, ink))
    fonts.append((2 * h, big))
    return fonts


def pack(rows):
    w = len(rows[0])
    stride = (w + 7) // 8
    out = []
    for r in rows:
        for b in range(stride):
            v = 0
            for x in range(8):
                px = b * 8 + x
                v = (v << 1) | (r[px] if px < w else 0)
            out.append(v)
    return out


def main():
    fonts = build()
    lines = [
        "// Generated by tools/genFonts.py from the Terminus console fonts of",
        "// console-setup-linux (SIL Open Font License 1.1, see fonts-LICENSE.txt);",
        "// the symbols 128 to 131 are drawn by the script. Do not edit.",
        '#include "display/fonts.h"',
        "",
        "namespace lumiro {",
        "",
        "namespace {",
        "",
    ]
    for n, (h, glyphs) in enumerate(fonts, 1):
        data, offsets, widths = [], [], []
        for code in range(FIRST, LAST + 1):
            rows = glyphs.get(code)
            if rows is None:
                offsets.append(0xFFFF)
                widths.append(0)
                continue
            assert len(rows) == h, (n, code, len(rows))
            offsets.append(len(data))
            widths.append(len(rows[0]))
            data.extend(pack(rows))
        assert len(data) < 0xFFFF
        lines.append("const uint8_t kBits%d[%d] = {" % (n, len(data)))
        for i in range(0, len(data), 16):
            lines.append("    " + ", ".join("0x%02X" % b for b in data[i:i + 16]) + ",")
        lines.append("};")
        lines.append("const uint16_t kOffsets%d[kGlyphCount] = {" % n)
        for i in range(0, len(offsets), 12):
            lines.append("    " + ", ".join("%d" % o for o in offsets[i:i + 12]) + ",")
        lines.append("};")
        lines.append("const uint8_t kWidths%d[kGlyphCount] = {" % n)
        for i in range(0, len(widths), 16):
            lines.append("    " + ", ".join("%d" % o for o in widths[i:i + 16]) + ",")
        lines.append("};")
        lines.append("")
    lines.append("const LcdFont kFonts[5] = {")
    for n, (h, _) in enumerate(fonts, 1):
        lines.append("    {%d, kWidths%d, kOffsets%d, kBits%d}," % (h, n, n, n))
    lines.append("};")
    lines.append("")
    lines.append("} // namespace")
    lines.append("")
    lines.append("const LcdFont* lcdFont(int font)")
    lines.append("{")
    lines.append("    return font >= 1 && font <= 5 ? &kFonts[font - 1] : nullptr;")
    lines.append("}")
    lines.append("")
    lines.append("} // namespace lumiro")
    with open(OUT, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
