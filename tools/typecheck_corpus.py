"""Type-checks the corpus of small programs with the plugin, in one mypy run,
and compares what mypy says about each program with what it expects.

The programs are ``tests/typing/*.py``; what mypy must say about one, line
for line, is in the ``.out`` file beside it (no ``.out``: nothing). Two
programs are made here: one from the table of implementations shared with
the run-time verification tests (``tests/implementation_mismatches.py``),
expecting a report at each broken row's declaration, and one from the
README's Python blocks, expecting nothing. Programs named ``component_*``
need the component layer and are skipped while it is not installed.

Usage: python tools/typecheck_corpus.py [--update]
(``--update`` rewrites the ``.out`` files from what mypy says.)
"""

from __future__ import annotations

import importlib.util
import os
import re
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
CORPUS = ROOT / "tests" / "typing"
BUILD = ROOT / "build" / "typing-corpus"
sys.path.insert(0, str(ROOT / "tests"))

from implementation_mismatches import MISMATCHES, MISSING, NOT_CALLABLE  # noqa: E402

CONFIG = f"""[mypy]
strict = True
plugins = trel.interface.mypy
cache_dir = {BUILD / "cache"}
show_error_codes = True
"""

LINE = re.compile(r"^(?P<path>[^:\n]+\.py):(?P<rest>\d+: .*)$")
UNION = re.compile(r"Union\[([^\[\]]*)\]")


def spelled_alike(line: str) -> str:
    """``line`` as the pinned mypy spells types, so the corpus also runs on
    older releases (which write ``Union[A, None]`` and ``builtins.str``)."""
    line = line.replace("builtins.", "")
    return UNION.sub(lambda match: " | ".join(match[1].split(", ")), line)


def mismatches_program() -> tuple[str, list[str]]:
    """A program declaring one class per row of the shared table, and the
    report mypy must give for each broken one."""
    lines = [
        '"""Made from tests/implementation_mismatches.py."""',
        "",
        "from trel.interface import Interface, implementer",
    ]
    expected = []
    for label, described, body, wrong in MISMATCHES:
        lines += ["", "", f"class I_{label}(Interface):", f"    {described}", "", ""]
        lines.append(f"@implementer(I_{label})")
        where = len(lines)
        lines += [f"class C_{label}:", *(f"    {line.strip()}" for line in body.split("\n"))]
        if wrong is None:
            continue
        if wrong == MISSING:
            detail = 'method "m" is missing'
        elif wrong == NOT_CALLABLE:
            detail = '"m" is not callable'
        else:
            detail = f'method "m" does not accept every call the interface allows: {wrong}'
        report = f'Class "C_{label}" does not implement interface "I_{label}": {detail}'
        expected.append(f"mismatches.py:{where}: error: {report}  [trel-implements]")
    return "\n".join(lines) + "\n", expected


def readme_program() -> str:
    blocks = re.findall(r"```python\n(.*?)```", (ROOT / "README.md").read_text(), re.S)
    return '"""The README\'s Python blocks, in order."""\n\n' + "\n".join(blocks)


def main() -> int:
    update = "--update" in sys.argv[1:]
    BUILD.mkdir(parents=True, exist_ok=True)
    config = BUILD / "mypy.ini"
    config.write_text(CONFIG)
    expected: dict[str, list[str]] = {}
    files: list[Path] = []
    have_components = importlib.util.find_spec("trel.component") is not None
    for program in sorted(CORPUS.glob("*.py")):
        if program.name.startswith("component_") and not have_components:
            print(f"skipped {program.name}: trel.component is not installed")
            continue
        out = program.with_suffix(".out")
        expected[program.name] = out.read_text().splitlines() if out.exists() else []
        files.append(program)
    source, reports = mismatches_program()
    (BUILD / "mismatches.py").write_text(source)
    (BUILD / "readme.py").write_text(readme_program())
    expected["mismatches.py"] = reports
    expected["readme.py"] = []
    files += [BUILD / "mismatches.py", BUILD / "readme.py"]

    done = subprocess.run(
        [
            sys.executable,
            "-m",
            "mypy",
            "--config-file",
            str(config),
            "--no-color-output",
            "--no-error-summary",
            *(str(path.relative_to(ROOT)) for path in files),
        ],
        cwd=ROOT,
        # Older mypy releases warn about their own imports on stderr.
        env={**os.environ, "PYTHONWARNINGS": "ignore"},
        capture_output=True,
        text=True,
        check=False,
    )
    said: dict[str, list[str]] = {name: [] for name in expected}
    stray: list[str] = []
    for line in done.stdout.splitlines():
        match = LINE.match(line)
        name = Path(match["path"]).name if match else None
        if match and name in said:
            said[name].append(spelled_alike(f"{name}:{match['rest']}"))
        else:
            stray.append(line)
    if done.returncode not in (0, 1) or stray or done.stderr.strip():
        print(f"mypy exited {done.returncode}:", *stray, done.stderr, sep="\n")
        return 1

    failed = 0
    for name in sorted(expected):
        if said[name] == expected[name]:
            continue
        if update and (CORPUS / name).exists():
            out = (CORPUS / name).with_suffix(".out")
            if said[name]:
                out.write_text("\n".join(said[name]) + "\n")
            else:
                out.unlink(missing_ok=True)
            print(f"updated {out.relative_to(ROOT)}")
            continue
        failed += 1
        print(f"{name}: mypy's output differs from what the program expects")
        for line in expected[name]:
            if line not in said[name]:
                print(f"  expected, not said: {line}")
        for line in said[name]:
            if line not in expected[name]:
                print(f"  said, not expected: {line}")
        if sorted(said[name]) == sorted(expected[name]):
            print("  (the same lines, in another order)")
    checked = len(expected)
    print(f"corpus: {checked - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
