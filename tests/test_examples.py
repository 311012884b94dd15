"""The examples run as a user runs them: in a fresh interpreter, from the command line."""

import re
import subprocess
import sys
from pathlib import Path

import pytest

from tarvelo_torso_kinematics import TarveloArmKinematics

EXAMPLES = Path(__file__).resolve().parent.parent / "examples"
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
FRACTION_LINE = re.compile(r"^(positive|negative) branch reaches (\d+\.\d+) of the sphere$", re.MULTILINE)
TINY = "24"  # grid size that keeps each run short and still finds the workspace

# The examples live beside tests/ in the source tree; a run against an installed wheel has
# only tests/.
pytestmark = pytest.mark.skipif(not EXAMPLES.is_dir(), reason="no examples/ beside tests/")


def run_example(name, *arguments, cwd=None):
    return subprocess.run(
        [sys.executable, str(EXAMPLES / name), *arguments], cwd=cwd, capture_output=True, text=True, timeout=120
    )


@pytest.fixture(scope="module")
def quickstart_output():
    result = run_example("quickstart.py")
    assert result.returncode == 0, result.stderr
    assert result.stderr == ""
    return result.stdout


@pytest.mark.parametrize(
    ("label", "shown"),
    [
        ("left.ik(left.fk(0.5, 0.5))", "(0.5, 0.5)"),
        ("left.ik_from_direction(d)  (smallest norm)", "(-0.167602, 0.5)"),
        ("left.ik_from_direction(d, near=(0.5, 0.5))", "(0.5, 0.5)"),
        ("neck.ik(neck.fk([0.3, 0.2, 0.1]))", "(0.3, 0.2, 0.1)"),
        ("object form, negative branch: direction(0, 0)", "[0.622814, -0.473503, 0.622814]"),
        ("left.ik_batch(left.fk_batch(same))  (NaN row)", "[[0.5, 0.5], [nan, nan], [-0.2, 0.3]]"),
        ("left.fk(0.0, pi)", "RuntimeError: Spherical 5-bar loop does not close"),
        ("left.ik(identity)", "RuntimeError: Target orientation is outside the spherical 5-bar workspace."),
        ("neck.ik(neck.fk([0, pi/2, 0]))", "ValueError: Gimbal lock: pitch is too close to ±π/2."),
        ("from_json('{\"arm_arc\": 0.7}')", "ValueError: Invalid arms.json: missing field `coupler_arc`"),
        ("left.ik_from_direction(d, near=[0.5, 0.5])", "TypeError: argument 'near': 'list' object"),
    ],
)
def test_quickstart_shows(quickstart_output, label, shown):
    lines = [line for line in quickstart_output.splitlines() if line.startswith(label + " ")]
    assert len(lines) == 1, quickstart_output
    assert lines[0][len(label) :].strip().startswith(shown)


def run_workspace(tmp_path, *arguments):
    """Run the workspace example into tmp_path; return ({branch: fraction}, stdout)."""
    pytest.importorskip("matplotlib")
    out = tmp_path / "workspace.png"
    result = run_example("workspace.py", "--resolution", TINY, "--out", str(out), *arguments, cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    assert out.read_bytes().startswith(PNG_SIGNATURE)
    assert out.stat().st_size > 1000
    fractions = {branch: float(value) for branch, value in FRACTION_LINE.findall(result.stdout)}
    assert sorted(fractions) == ["negative", "positive"], result.stdout
    assert all(0.0 < value < 1.0 for value in fractions.values()), fractions
    return fractions, result.stdout


@pytest.fixture(scope="module")
def default_fractions(tmp_path_factory):
    fractions, stdout = run_workspace(tmp_path_factory.mktemp("default"))
    assert "branch positive" in stdout.splitlines()[0]
    assert re.search(r"^manipulability over the closing joint pairs: median 0\.\d+, ", stdout, re.MULTILINE), stdout
    return fractions


DOCUMENTS = [
    pytest.param('{"arm_arc": 0.7, "coupler_arc": 0.5}', "positive", id="object"),
    pytest.param('[0.7, 0.5, "negative", true]', "negative", id="array-negative-mirrored"),
    pytest.param(
        '{"arm_arc": 0.7, "coupler_arc": 0.5, "branch": {"negative": null}}', "negative", id="object-negative"
    ),
]


@pytest.mark.parametrize(("document", "branch"), DOCUMENTS)
def test_workspace_from_document(tmp_path, default_fractions, document, branch):
    """The default arcs give the default areas on either branch; the arm's own branch is found."""
    path = tmp_path / "arms.json"
    path.write_text(document, encoding="utf-8")
    fractions, stdout = run_workspace(tmp_path, "--json", str(path))
    assert fractions == default_fractions
    assert stdout.splitlines()[0].endswith(f"branch {branch}")


def test_workspace_mirrored_arm_reaches_as_much(tmp_path, default_fractions):
    # The mirrored arm is the default one turned half a turn about u_A: same areas.
    fractions, stdout = run_workspace(tmp_path, "--mirror")
    assert fractions == default_fractions
    assert "mirror True" in stdout


def test_workspace_branches_reach_equal_areas(default_fractions):
    # The two branches are reflections of each other in the plane of u_A and u_B.
    assert default_fractions["positive"] == default_fractions["negative"]


def test_workspace_larger_coupler_reaches_more(tmp_path, default_fractions):
    fractions, _ = run_workspace(tmp_path, "--arm-arc", "0.7", "--coupler-arc", "0.8")
    assert fractions["positive"] > default_fractions["positive"]


@pytest.mark.parametrize(
    ("arguments", "message"),
    [
        (["--json", "{doc}"], "Invalid arms.json: missing field `coupler_arc`"),
        (["--json", "{doc}", "--mirror"], "cannot be combined"),
        (["--resolution", "1"], "at least 2"),
    ],
)
def test_workspace_refuses(tmp_path, arguments, message):
    pytest.importorskip("matplotlib")
    path = tmp_path / "arms.json"
    path.write_text('{"arm_arc": 0.7}', encoding="utf-8")
    arguments = [argument.replace("{doc}", str(path)) for argument in arguments]
    result = run_example("workspace.py", "--out", str(tmp_path / "x.png"), *arguments, cwd=tmp_path)
    assert result.returncode == 2
    assert message in result.stderr
    assert not (tmp_path / "x.png").exists()


POINTING_LINES = re.compile(r"largest pointing error (\S+) rad\nsmallest manipulability (\S+)$", re.MULTILINE)


@pytest.mark.parametrize(
    ("arguments", "error_range"),
    [
        ((), (2e-5, 2e-4)),
        (("--correct-every", "0"), (2e-4, 2e-3)),  # the correction keeps the error down
        (("--dt", "0.0005", "--correct-every", "1"), (0.0, 2e-6)),
        (
            (
                "--dt",
                "0",
            ),
            None,
        ),
    ],
    ids=["default", "uncorrected", "fine-corrected-every-step", "zero-step-refused"],
)
def test_pointing_control_follows_the_arc(arguments, error_range):
    result = run_example("pointing_control.py", *arguments)
    if error_range is None:
        assert result.returncode == 2 and "must be positive" in result.stderr
        return
    assert result.returncode == 0 and result.stdout.startswith("arc of 0.6227 rad at "), result.stderr
    ((error, gain),) = POINTING_LINES.findall(result.stdout)
    assert error_range[0] < float(error) < error_range[1]
    assert 0.4 < float(gain) < 0.41  # the arc keeps well away from singular configurations


@pytest.mark.skipif(not hasattr(TarveloArmKinematics, "is_reachable_direction_batch"), reason="needs the array methods")
def test_parallel_workspace_matches_the_workspace_example(tmp_path, default_fractions):
    """Two local worker processes on a tiny grid find exactly the shares of workspace.py's grid."""
    pytest.importorskip("distributed")
    result = run_example(
        "parallel_workspace.py",
        "--resolution",
        TINY,
        "--bands-per-task",
        "5",
        "--workers",
        "2",
        "--compare-resolution",
        "0",
        cwd=tmp_path,
    )
    assert result.returncode == 0, result.stderr
    assert "local cluster: 2 workers" in result.stdout
    fractions = {branch: float(value) for branch, value in FRACTION_LINE.findall(result.stdout)}
    assert fractions == default_fractions, result.stdout
