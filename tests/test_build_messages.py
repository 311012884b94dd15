"""A build from source that lacks RapidJSON or std::expected stops saying what to install."""

import shutil
import subprocess
import sys
from pathlib import Path

import pytest

SOURCE = Path(__file__).resolve().parent.parent
CMAKE = shutil.which("cmake") or shutil.which("cmake", path=str(Path(sys.executable).parent))

pytestmark = pytest.mark.skipif(
    CMAKE is None or not (SOURCE / "CMakeLists.txt").is_file(), reason="needs cmake and the source tree"
)


@pytest.mark.parametrize(
    ("define", "phrases"),
    [
        (
            "-DCMAKE_DISABLE_FIND_PACKAGE_RapidJSON=ON",
            ["RapidJSON", "apt-get install rapidjson-dev", "dnf install rapidjson-devel"],
        ),
        # As a compiler without <expected> leaves the check's result.
        ("-DTORSO_HAS_STD_EXPECTED=OFF", ["std::expected", "g++ 12 or newer", "clang 16 or newer"]),
    ],
    ids=["no-rapidjson", "no-std-expected"],
)
def test_configure_names_what_to_install(tmp_path, define, phrases):
    result = subprocess.run(
        [CMAKE, "-S", str(SOURCE), "-B", str(tmp_path), define], capture_output=True, text=True, timeout=600
    )
    assert result.returncode != 0
    message = " ".join(result.stderr.split())
    assert [p for p in phrases if p not in message] == [], result.stderr
