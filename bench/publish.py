"""Copies a benchmark run's chart and figures to where the docs show them.

Usage: python bench/publish.py RUN_DIR DEST   (make bench-chart: build/bench -> docs/_static)

Writes DEST/speedup.svg (the chart the README and the docs show) and
DEST/bench-results.md (the machine, the date and the tables, which the
performance page includes). Run it after a `make bench` worth keeping, and
commit the two files.
"""

import json
import pathlib
import shutil
import sys

from report import duration


def table(header, rows):
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    lines += ["| " + " | ".join(cell.replace("|", "\\|") for cell in row) + " |" for row in rows]
    return "\n".join(lines)


def markdown(results):
    machine = results["machine"]
    out = [
        f"Measured {machine['date']} with Python {machine['python']} on {machine['platform']}, "
        f"{machine['cpus']} x {machine['cpu']}.",
        "",
        "End to end through the framework, C++ core against the plain-Python core:",
        "",
        table(("operation", "C++ core", "plain-Python core", "speedup", "goal"), [
            (row["row"], duration(row["cpp ns"]), duration(row["python ns"]), f"{row['speedup']:.1f}x",
             f">= {row['goal']:g}x" if row["goal"] else "")
            for row in results["end to end"]
        ]),
        "",
        "Against the libraries a user might pick instead, on the C++ core (time per call, fastest first):",
        "",
    ]
    for group, found in results["peers"].items():
        suffix = " (net of creating the class)" if found["net of creating a class"] else ""
        out += [f"**{group}{suffix}**", "", table(("library and call", "time per call"), [
            (("**" + row["row"] + "**") if row["framework"] else row["row"],
             duration(row["ns"]) if row["ns"] > 0 else "below what the run can resolve")
            for row in found["rows"]
        ]), ""]
    out += [
        "The component registry against the containers a user might pick instead (C++ core):",
        "",
        table(("call", "time", "compared with", "its time", "ratio"), [
            (row["row"], duration(row["ns"]), row["compared with"], duration(row["other ns"]), f"{row['ratio']:.2f}x")
            for row in results["components"]
        ]),
        "",
    ]
    met = sum(goal["met"] for goal in results["goals"])
    out.append(f"Goals met in this run: {met} of {len(results['goals'])}.")
    return "\n".join(out) + "\n"


def main():
    run_dir, dest = (pathlib.Path(arg) for arg in sys.argv[1:3])
    results = json.loads((run_dir / "results.json").read_text())
    dest.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(run_dir / "speedup.svg", dest / "speedup.svg")
    (dest / "bench-results.md").write_text(markdown(results))
    print(f"Wrote {dest / 'speedup.svg'} and {dest / 'bench-results.md'}: commit them.")


if __name__ == "__main__":
    main()
