#!/usr/bin/env python3
"""Renders tmux `capture-pane -p -e` output (text with SGR colour codes) as
an SVG picture of the terminal: one or more captures, side by side.

    ansi_to_svg.py TITLE1 CAPTURE1 [TITLE2 CAPTURE2 ...] > picture.svg
"""
import re
import sys
from html import escape

# The 16 colours as a PC text screen shows them, by ANSI number.
PALETTE = ["#000000", "#aa0000", "#00aa00", "#aa5500", "#0000aa", "#aa00aa", "#00aaaa", "#aaaaaa",
           "#555555", "#ff5555", "#55ff55", "#ffff55", "#5555ff", "#ff55ff", "#55ffff", "#ffffff"]
DEFAULT_FG, DEFAULT_BG = 7, 0
CELL_W, CELL_H, COLS, ROWS = 9, 18, 80, 25
SGR = re.compile(r"\x1b\[([0-9;]*)m")


def parse(text):
    """Rows of (character, fg, bg) cells; the colour state carries across lines."""
    fg, bg, rows = DEFAULT_FG, DEFAULT_BG, []
    for line in text.split("\n")[:ROWS]:
        cells, pos = [], 0
        for m in SGR.finditer(line):
            cells += [(ch, fg, bg) for ch in line[pos:m.start()]]
            codes = [int(c) if c else 0 for c in m.group(1).split(";")] or [0]
            i = 0
            while i < len(codes):
                c = codes[i]
                if c == 0:
                    fg, bg = DEFAULT_FG, DEFAULT_BG
                elif 30 <= c <= 37:
                    fg = c - 30
                elif 90 <= c <= 97:
                    fg = c - 90 + 8
                elif c == 39:
                    fg = DEFAULT_FG
                elif 40 <= c <= 47:
                    bg = c - 40
                elif 100 <= c <= 107:
                    bg = c - 100 + 8
                elif c == 49:
                    bg = DEFAULT_BG
                elif c in (38, 48) and i + 2 < len(codes) and codes[i + 1] == 5:
                    if c == 38:
                        fg = codes[i + 2] % 16
                    else:
                        bg = codes[i + 2] % 16
                    i += 2
                i += 1
            pos = m.end()
        cells += [(ch, fg, bg) for ch in line[pos:]]
        cells += [(" ", DEFAULT_FG, bg)] * max(0, COLS - len(cells))
        rows.append(cells[:COLS])
    while len(rows) < ROWS:
        rows.append([(" ", DEFAULT_FG, DEFAULT_BG)] * COLS)
    return rows


def screen(rows, x0, y0, title):
    out = [f'<text x="{x0}" y="{y0 - 8}" fill="#333" font-size="14">{escape(title)}</text>',
           f'<rect x="{x0}" y="{y0}" width="{COLS * CELL_W}" height="{ROWS * CELL_H}" fill="{PALETTE[DEFAULT_BG]}"/>']
    for r, cells in enumerate(rows):
        y = y0 + r * CELL_H
        c = 0
        while c < COLS:
            # A run of one colour pair: one background, one text.
            _, fg, bg = cells[c]
            end = c
            while end < COLS and cells[end][1:] == (fg, bg):
                end += 1
            text = "".join(ch for ch, _, _ in cells[c:end])
            x = x0 + c * CELL_W
            if bg != DEFAULT_BG:
                out.append(f'<rect x="{x}" y="{y}" width="{(end - c) * CELL_W}" height="{CELL_H}" fill="{PALETTE[bg]}"/>')
            if text.strip():
                out.append(f'<text x="{x}" y="{y + CELL_H - 4}" fill="{PALETTE[fg]}" textLength="{(end - c) * CELL_W}" '
                           f'xml:space="preserve">{escape(text)}</text>')
            c = end
    return out


def main(args):
    pairs = list(zip(args[0::2], args[1::2]))
    gap, top = 24, 30
    width = len(pairs) * COLS * CELL_W + (len(pairs) + 1) * gap
    height = ROWS * CELL_H + top + gap
    parts = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
             f'font-family="DejaVu Sans Mono, monospace" font-size="15">',
             f'<rect width="{width}" height="{height}" fill="#f4f4f4"/>']
    for i, (title, path) in enumerate(pairs):
        with open(path, encoding="utf-8", errors="replace") as f:
            parts += screen(parse(f.read()), gap + i * (COLS * CELL_W + gap), top, title)
    parts.append("</svg>")
    print("\n".join(parts))


if __name__ == "__main__":
    main(sys.argv[1:])
