"""The README's examples run as shown, with the shipped framework package, on each core."""

import pathlib
import re

import pytest

from conftest import run_isolated

README = pathlib.Path(__file__).resolve().parent.parent / "README.md"


@pytest.mark.isolated
@pytest.mark.parametrize("pure", [None, "1"], ids=["c++", "python"])
def test_readme_examples_run(pure):
    blocks = re.findall(r"```python\n(.*?)```", README.read_text(), re.S)
    assert blocks
    run_isolated("\n".join(blocks), env={"TREL_INTERFACE_PURE": pure})
