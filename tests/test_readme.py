"""The README's Python blocks run as written, in order, as a reader trying them would run them."""

import re
from pathlib import Path

import pytest

README = Path(__file__).resolve().parent.parent / "README.md"

pytestmark = pytest.mark.skipif(not README.is_file(), reason="the README is not beside the tests")


def test_python_blocks_run_in_order():
    blocks = re.findall(r"^```python\n(.*?)^```", README.read_text(encoding="utf-8"), re.M | re.S)
    assert len(blocks) >= 4
    namespace = {"__name__": "readme"}
    for number, block in enumerate(blocks, start=1):
        exec(compile(block, f"README.md, Python block {number}", "exec"), namespace)
