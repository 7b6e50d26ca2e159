"""The benchmark's tables and goals, from the measurements of one run.

Every figure a table prints is also put in the results (``report_all``'s
return value), and the chart and the docs are drawn from those results, so
the three never disagree.

One statistic throughout: a row's time is the median of its per-round
times, and a ratio between two rows is the median of their per-round
ratios, the two having been timed side by side in each round (for the two
cores, in interpreters taking turns) so that drift on a noisy machine slows
both alike. The peers' ratios are of the medians shown, net of creating a
class where the group says so.

A goal is what a row is expected to reach. The tables show each goal beside
the measured ratio, and the summary counts the goals met; ``--check`` lists
the ones that are not.
"""

import statistics


def paired_ratio(numerators, denominators):
    """The median of the per-round ratios of two rows timed side by side."""
    return statistics.median(n / d if d > 0 else float("inf") for n, d in zip(numerators, denominators))


def duration(ns):
    if ns >= 1e6:
        return f"{ns / 1e6:.2f} ms"
    if ns >= 1e4:
        return f"{ns / 1e3:.1f} us"
    return f"{ns:.0f} ns"


def ratio_text(target, cpp_over_baseline):
    if target is not None and target.kind == "at_most":
        return f"C++ takes {cpp_over_baseline:.2f}x"
    return f"{1 / cpp_over_baseline:.1f}x faster"


def print_table(header, rows, numeric):
    widths = [max(len(row[i]) for row in (header, *rows)) for i in range(len(header))]
    for row in (header, None, *rows):
        if row is None:
            print("-+-".join("-" * w for w in widths))
            continue
        cells = (cell.rjust(w) if i in numeric else cell.ljust(w) for i, (cell, w) in enumerate(zip(row, widths)))
        print(" | ".join(cells).rstrip())


class Goals:
    """The goals of a run and whether each was met."""

    def __init__(self):
        self.found = []

    def add(self, table, row, against, target, measured_ratio, measured_text):
        met = target.holds(measured_ratio)
        self.found.append({
            "table": table, "row": row.strip(), "against": against.strip(),
            "goal": target.describe(), "measured": measured_text, "met": met,
        })
        return target.describe()

    def summary(self, table):
        mine = [goal for goal in self.found if goal["table"] == table]
        met = sum(goal["met"] for goal in mine)
        return f"Goals met: {met} of {len(mine)}." if mine else ""


def report_micro(raw, case_list, goals):
    """The per-operation table: each C++ operation against its baselines."""
    by_name = {entry["name"]: entry for entry in raw["micro"]}
    header = ("operation", "C++ ns/call", "baseline", "baseline ns/call", "ratio", "goal")
    rows, results = [], []
    for case in case_list:
        entry = by_name[case.name]
        cpp = entry["cpp"]
        for i, baseline in enumerate(case.baselines):
            base = entry["baselines"][baseline.label]
            relative = paired_ratio(cpp, base)
            text = ratio_text(baseline.target, relative)
            goal = ""
            if baseline.target is not None:
                goal = goals.add("operations", case.name, baseline.label, baseline.target, relative, text)
            rows.append((
                case.name if i == 0 else "",
                f"{statistics.median(cpp):.1f}" if i == 0 else "",
                baseline.label,
                f"{statistics.median(base):.1f}",
                text,
                goal,
            ))
            results.append({
                "operation": case.name, "cpp ns": statistics.median(cpp), "baseline": baseline.label,
                "baseline ns": statistics.median(base), "cpp over baseline": relative,
                "goal": baseline.target and {"kind": baseline.target.kind, "value": baseline.target.value},
            })
    print_table(header, rows, {1, 3})
    print()
    print(f"Medians of {len(next(iter(by_name.values()))['cpp'])} interleaved rounds; ratios are medians of "
          f"per-round ratios; {raw['noop ns']:.1f} ns/call of a no-op lambda subtracted. {goals.summary('operations')}")
    return results


def report_framework(raw, framework_goal, goals):
    """End to end through the framework, C++ core against plain-Python core."""
    samples, memory = raw["framework"]["samples"], raw["framework"]["memory"]
    header = ("end to end through the framework", "C++ core", "Python core", "speedup", "goal")
    rows, results = [], []
    for name, cpp_values in samples["c++"].items():
        python_values = samples["python"][name]
        speedup = paired_ratio(python_values, cpp_values)
        target = framework_goal(name)
        goal = ""
        if target is not None:
            goal = goals.add("end to end", name, "the plain-Python core", target, 1 / speedup, f"{speedup:.1f}x")
        cpp, python = statistics.median(cpp_values), statistics.median(python_values)
        rows.append((name, duration(cpp), duration(python), f"{speedup:.1f}x", goal))
        results.append({"row": name.strip(), "cpp ns": cpp, "python ns": python, "speedup": speedup,
                        "goal": target and target.value})
    print()
    print_table(header, rows, {1, 2, 3})
    print()
    for core_name in ("c++", "python"):
        figures = memory[core_name]
        print(f"Memory on the {core_name} core: {figures['registration']:.0f} bytes per registered adapter, "
              f"{figures['cached answer']:.0f} bytes per cached answer (tracemalloc).")
    print("Medians over the rounds of the two cores taking turns in interpreters of their own; speedups are "
          f"medians of the per-round ratios. {goals.summary('end to end')}")
    return results


def report_components(raw, comparisons, goals):
    """The component layer on the C++ core against what it is built on and
    against the containers a user might pick instead."""
    cpp, peers = raw["framework"]["samples"]["c++"], raw["framework"]["peers"]
    memory, missing = raw["framework"]["memory"], raw["framework"]["missing"]
    header = ("component layer, C++ core", "ns/call", "compared with", "ns/call", "ratio", "goal")
    rows, results = [], []
    for row, other, target in comparisons(peers):
        baseline = cpp.get(other, peers.get(other))
        label = row.split(": ", 1)[1]
        if baseline is None:
            rows.append((label, f"{statistics.median(cpp[row]):.1f}", other.strip(), "not installed", "", ""))
            continue
        relative = paired_ratio(cpp[row], baseline)
        text = ratio_text(target, relative)
        goal = goals.add("components", label, other, target, relative, text) if target is not None else ""
        rows.append((label, f"{statistics.median(cpp[row]):.1f}", other.strip(),
                     f"{statistics.median(baseline):.1f}", text, goal))
        results.append({"row": label, "ns": statistics.median(cpp[row]), "compared with": other.strip(),
                        "other ns": statistics.median(baseline), "ratio": relative})
    print()
    print_table(header, rows, {1, 3})
    print()
    if missing:
        print(f"Peers not installed (pip install '.[bench]'): {', '.join(missing)}.")
    for core_name in ("c++", "python"):
        figures = memory[core_name]
        print(f"Memory on the {core_name} core: {figures['utility']:.0f} bytes per registered utility, "
              f"{figures['component adapter']:.0f} bytes per adapter registered in a Components (tracemalloc).")
    print(goals.summary("components"))
    return results


def report_peers(raw, peer_targets, creating, goals):
    """Each group's rows, fastest first, with the ratios the goals name."""
    groups, missing = raw["peers"]["groups"], raw["peers"]["missing"]
    rounds = len(next(iter(next(iter(groups.values())).values())))
    print()
    results = {}
    for group, rows in groups.items():
        net = {name: statistics.median(values) for name, values in rows.items()}
        creating_ns = net.pop(creating, None)
        if creating_ns is not None:
            net = {name: value - creating_ns for name, value in net.items()}
        peers = {name: value for name, value in net.items() if not name.startswith("trel")}
        fastest = min(peers, key=peers.get) if peers else None
        suffix = " (net of creating the class)" if creating_ns is not None else ""
        print(f"{group}{suffix}")
        results[group] = {"net of creating a class": creating_ns is not None, "rows": []}
        for name, value in sorted(net.items(), key=lambda item: item[1]):
            line = f"  {duration(value):>9}  {name}"
            if value <= 0:
                line += "   (below what this run can resolve)"
            for prefix, row, against, target in peer_targets:
                other = fastest if against == "fastest peer" else against
                if row != name or not group.startswith(prefix) or other not in net:
                    continue
                if value <= 0 or net[other] <= 0:
                    # A net time at or below zero is noise: no ratio to judge.
                    line += f"   (against {other}: not measurable in this run)"
                    continue
                ratio = value / net[other]
                text = f"takes {ratio:.2f}x the time of {other}"
                line += f"   {text} (goal {goals.add('peers', name, other, target, ratio, text)})"
            print(line)
            results[group]["rows"].append({"row": name, "ns": value, "framework": name.startswith("trel")})
    if missing:
        print(f"Peers not installed (pip install '.[bench]'): {', '.join(missing)}.")
    print(f"Medians of {rounds} rounds over several interpreters, every row timed in every round. "
          f"{goals.summary('peers')}")
    return results


def report_scale(raw, scale_targets, at_most, goals):
    """Build times per size with the growth from the size before (doubling
    the size should at most about quadruple the time), and hit times."""
    found = raw["scale"]
    print()
    print("building and declaring hierarchies (best of 3), C++ core | Python core; x: growth from the size before")
    for shape, sizes in found["c++"]["build"].items():
        cells, previous = [], None
        for size, ms in sizes.items():
            growth = f" x{ms / previous:.1f}" if previous else ""
            python = found["python"]["build"][shape][size]
            cells.append(f"{size}: {ms:.1f} ms{growth} | {python:.1f} ms")
            previous = ms
            for target_shape, target_size, limit in scale_targets:
                if (target_shape, target_size) == (shape, size):
                    goals.add("scale", f"{shape} {size}", "its time limit", at_most(limit, "ms"), ms, f"{ms:.1f} ms")
                    cells[-1] += f" (goal <= {limit} ms)"
        print(f"  {shape}: " + "; ".join(cells))
    hits = ", ".join(
        f"{count}: {ns:.0f} ns | {found['python']['hit'][count]:.0f} ns" for count, ns in found["c++"]["hit"].items()
    )
    print(f"  a registry query hit among N registrations, C++ | Python: {hits}")
    print(goals.summary("scale"))
    return found
