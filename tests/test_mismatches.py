"""verifyClass judges the shared table of implementations as the type checker's plugin does."""

import pytest

from implementation_mismatches import MISMATCHES, MISSING

pytestmark = pytest.mark.isolated


def test_verify_class_reports_exactly_the_broken_rows(run):
    run(f"""
from trel.interface import (BrokenImplementation, BrokenMethodImplementation, Interface, Invalid,
                            implementer, verifyClass)

for label, described, body, wrong in {MISMATCHES!r}:
    namespace = {{}}
    exec(f"class I(Interface):\\n    {{described}}\\n\\nclass C:\\n    {{body}}\\n", globals(), namespace)
    interface, cls = namespace["I"], implementer(namespace["I"])(namespace["C"])
    try:
        verifyClass(interface, cls)
    except Invalid as error:
        assert wrong is not None, (label, str(error))
        if wrong == {MISSING!r}:
            assert type(error) is BrokenImplementation and error.name == "m", (label, repr(error))
        else:
            assert type(error) is BrokenMethodImplementation and wrong in str(error), (label, str(error))
    else:
        assert wrong is None, (label, "passed")
""")
