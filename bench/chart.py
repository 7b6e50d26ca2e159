"""The benchmark's chart, as plain SVG, drawn from a run's results.

Two panels: the speedup of the C++ core over the plain-Python core per
operation and end to end (a dashed mark at each goal), then each peer group
in nanoseconds per call on the C++ core, the framework's rows in blue. The
figures are the ones the tables print.
"""

from xml.sax.saxutils import escape

LABEL, BAR, ROW, RIGHT = 420, 380, 22, 90
WIDTH = LABEL + BAR + RIGHT
BLUE, GREY, MUTED = "#2f6db5", "#9aa3ad", "#555"


def _duration(ns):
    if ns >= 1e6:
        return f"{ns / 1e6:.2f} ms"
    if ns >= 1e4:
        return f"{ns / 1e3:.1f} us"
    return f"{ns:.0f} ns"


def speedup_bars(results):
    """(label, speedup, goal or None) for every row against the plain-Python core."""
    bars = []
    for row in results["operations"]:
        if row["baseline"].startswith("pure"):
            goal = row["goal"]["value"] if row["goal"] and row["goal"]["kind"] == "faster" else None
            bars.append((row["operation"], 1 / row["cpp over baseline"], goal))
    bars.extend((row["row"], row["speedup"], row["goal"]) for row in results["end to end"])
    return bars


def _bar(out, y, label, length, colour, text, text_at=None):
    """One labelled bar; its figure goes after the bar, or at ``text_at`` past a goal mark."""
    out.append(f'<text x="{LABEL - 8}" y="{y + 14}" text-anchor="end">{escape(label)}</text>')
    out.append(f'<rect x="{LABEL}" y="{y + 3}" width="{max(length, 1):.1f}" height="{ROW - 6}" fill="{colour}"/>')
    out.append(f'<text x="{LABEL + max(length, text_at or 0) + 4:.1f}" y="{y + 14}">{escape(text)}</text>')


def write_chart(path, results):
    machine = results["machine"]
    bars = speedup_bars(results)
    out, y = [], 20
    out.append('<text x="10" y="20" font-size="15" font-weight="bold">'
               "Speedup of the C++ core over the plain-Python core</text>")
    out.append(f'<text x="10" y="36" fill="{MUTED}">per operation, then end to end through the framework; '
               "dashed: the goal</text>")
    y = 46
    scale = BAR / max(max(s for _, s, _ in bars), max((g or 0) for _, _, g in bars)) * 0.85
    top = y
    for label, speedup, goal in bars:
        _bar(out, y, label, speedup * scale, BLUE, f"{speedup:.1f}x", goal and goal * scale)
        if goal is not None:
            x = LABEL + goal * scale
            out.append(f'<line x1="{x:.1f}" y1="{y + 1}" x2="{x:.1f}" y2="{y + ROW - 1}" '
                       'stroke="black" stroke-dasharray="3,2"/>')
        y += ROW
    x = LABEL + scale
    out.append(f'<line x1="{x:.1f}" y1="{top - 4}" x2="{x:.1f}" y2="{y + 2}" stroke="#999"/>')
    out.append(f'<text x="{x:.1f}" y="{y + 14}" text-anchor="middle" fill="{MUTED}">1x</text>')
    y += 44
    out.append(f'<text x="10" y="{y}" font-size="15" font-weight="bold">'
               "Against the libraries a user might pick instead</text>")
    out.append(f'<text x="10" y="{y + 16}" fill="{MUTED}">time per call on the C++ core, shorter is faster; '
               "blue: this framework</text>")
    y += 26
    for group, found in results["peers"].items():
        rows = found["rows"]
        suffix = " (net of creating the class)" if found["net of creating a class"] else ""
        y += 14
        out.append(f'<text x="10" y="{y}" font-weight="bold">{escape(group + suffix)}</text>')
        y += 4
        longest = max(row["ns"] for row in rows) or 1
        for row in rows:
            length = max(row["ns"], 0) / longest * BAR * 0.85
            text = _duration(row["ns"]) if row["ns"] > 0 else "below what the run can resolve"
            _bar(out, y, row["row"], length, BLUE if row["framework"] else GREY, text)
            y += ROW
    y += 16
    out.append(f'<text x="{WIDTH - 10}" y="{y}" text-anchor="end" fill="{MUTED}">'
               f"{escape(machine['date'])}, Python {escape(machine['python'])}, "
               f"{machine['cpus']} x {escape(machine['cpu'])}</text>")
    height = y + 12
    head = [
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{WIDTH}" height="{height}" '
        f'viewBox="0 0 {WIDTH} {height}" font-family="sans-serif" font-size="12">',
        f'<rect width="{WIDTH}" height="{height}" fill="white"/>',
    ]
    path.write_text("\n".join([*head, *out, "</svg>"]) + "\n")
