"""The distributions of the benchmark rows as one SVG: per row, every sample of
both sides divided by the median of the side it is measured against, so that
all rows share one axis (the ratio) and the goal is a line on it."""

import statistics
from html import escape

WIDTH = 900
LABEL = 330           # the column of row names
STRIP = 16            # height of one side's strip
GAP = 18              # space between rows
TOP = 40
COLOURS = {"ours": "#1f6fb2", "base": "#888888"}


def quartiles(values):
    if len(values) < 2:
        return values[0], values[0]
    q = statistics.quantiles(values, n=4, method="inclusive")
    return q[0], q[2]


def svg(rows) -> str:
    panels = []
    for r in rows:
        if r.error:
            continue
        if r.ours and r.base:
            scale = statistics.median(r.base)
            strips = [("launcher", "ours", [v / scale for v in r.ours]),
                      ("against", "base", [v / scale for v in r.base])]
        elif r.ratios:
            strips = [("launcher", "ours", list(r.ratios))]
        else:
            continue
        panels.append((r, strips))

    top_value = 1.5
    for r, strips in panels:
        for _, _, values in strips:
            top_value = max(top_value, statistics.median(values) * 1.15)
        if r.limit:
            top_value = max(top_value, r.limit * 1.15)
    top_value = min(top_value, 6.0)
    plot_width = WIDTH - LABEL - 30

    def x(value):
        return LABEL + plot_width * min(value, top_value) / top_value

    height = TOP + sum(max(len(s) * STRIP, 2 * STRIP) + GAP for _, s in panels) + 40
    out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{WIDTH}" height="{height}" '
           f'font-family="sans-serif" font-size="11">',
           f'<rect width="{WIDTH}" height="{height}" fill="white"/>',
           f'<text x="10" y="18" font-size="13">Launcher against the least the machine does, per row '
           f'(samples / median of the side measured against; box: quartiles, bar: median)</text>']
    # The axis: a tick every 0.5.
    tick = 0.0
    axis_y = height - 30
    while tick <= top_value + 1e-9:
        out.append(f'<line x1="{x(tick):.1f}" y1="{TOP - 8}" x2="{x(tick):.1f}" y2="{axis_y}" '
                   f'stroke="#e4e4e4"/>')
        out.append(f'<text x="{x(tick):.1f}" y="{axis_y + 14}" text-anchor="middle">{tick:g}x</text>')
        tick += 0.5
    y = TOP
    for r, strips in panels:
        block = len(strips) * STRIP
        out.append(f'<text x="10" y="{y + block / 2 - 2:.1f}">{escape(short(r.title))}</text>')
        verdict = "met" if r.met else "MISSED"
        ratio = statistics.median(r.ratios) if r.ratios else 0
        goal = f", goal {r.limit:g}x: {verdict}" if r.limit else ", for information"
        out.append(f'<text x="10" y="{y + block / 2 + 11:.1f}" font-size="10" fill="#555">'
                   f'{ratio:.2f}x{goal}</text>')
        if r.limit:
            colour = "#2a9d3a" if r.met else "#d62728"
            out.append(f'<line x1="{x(r.limit):.1f}" y1="{y - 4}" x2="{x(r.limit):.1f}" y2="{y + block + 4}" '
                       f'stroke="{colour}" stroke-width="2" stroke-dasharray="4,3"/>')
        for name, side, values in strips:
            colour = COLOURS[side]
            mid = y + STRIP / 2
            lo, hi = quartiles(values)
            out.append(f'<rect x="{x(lo):.1f}" y="{y + 3}" width="{max(x(hi) - x(lo), 1):.1f}" '
                       f'height="{STRIP - 6}" fill="{colour}" fill-opacity="0.25" stroke="{colour}"/>')
            med = statistics.median(values)
            out.append(f'<line x1="{x(med):.1f}" y1="{y + 1}" x2="{x(med):.1f}" y2="{y + STRIP - 1}" '
                       f'stroke="{colour}" stroke-width="3"/>')
            for i, v in enumerate(values):
                jitter = (i * 7 % 9 - 4) * 0.8
                out.append(f'<circle cx="{x(v):.1f}" cy="{mid + jitter:.1f}" r="2" fill="{colour}" '
                           f'fill-opacity="0.7"/>')
            out.append(f'<text x="{LABEL - 6}" y="{mid + 4:.1f}" text-anchor="end" fill="{colour}">'
                       f'{name}</text>')
            y += STRIP
        y += GAP + max(0, 2 * STRIP - block)
    out.append('</svg>')
    return "\n".join(out) + "\n"


def short(title: str) -> str:
    head = title.split(":")[0]
    return head if len(head) <= 38 else head[:37] + "…"
