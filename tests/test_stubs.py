"""The installed type stub and the records it is written from.

The build runs the stub tool twice. It installs the stub as `__init__.pyi` (with an empty
`py.typed`) in the folder `tarvelo_torso_kinematics/` beside the .so, and the tests read it
from there, so they check what `pip install .` installed. The tool's `--list` walk of the
registries, `stub_records.jsonl` (one JSON object per registry entry in walk order), is test
data and stays in the build tree, beside the stub it wrote: the record tests read the listing
whose stub is the installed one (or the file that TORSO_STUB_RECORDS names), and are skipped
where there is none, as for an installed wheel.
"""

import ast
import inspect
import json
import os
import re
import runpy
import subprocess
import sys
from pathlib import Path

import pytest

import tarvelo_torso_kinematics as tk

DATA = Path(__file__).parent / "data"
SOURCE = Path(__file__).resolve().parent.parent
MODULE = "tarvelo_torso_kinematics"
PACKAGE_DIR = Path(tk.__file__).parent / MODULE
ARM, NECK = "TarveloArmKinematics", "TarveloNeckKinematics"


def run_tool(*args, cwd):
    return subprocess.run([sys.executable, "-m", *args], cwd=cwd, capture_output=True, text=True, check=False)


def mypy(*args, cwd):
    return run_tool("mypy", "--no-error-summary", "--cache-dir", str(cwd / "cache"), *args, cwd=cwd)


# ---- the installed files ----


def test_installed_stub_equals_expected():
    installed = (PACKAGE_DIR / "__init__.pyi").read_text(encoding="utf-8")
    expected = (DATA / f"{MODULE}.pyi").read_text(encoding="utf-8")
    assert installed == expected


def test_package_folder_holds_the_stub_and_the_marker_only():
    assert (PACKAGE_DIR / "py.typed").read_bytes() == b""
    assert sorted(p.name for p in PACKAGE_DIR.iterdir()) == ["__init__.pyi", "py.typed"]


def test_import_still_loads_the_shared_object():
    # The stub folder has the module's name; without an __init__.py the import system
    # must pass it over and load the extension beside it.
    assert PACKAGE_DIR.is_dir()
    assert tk.__file__.endswith(".so")
    assert tk.__spec__.origin == tk.__file__
    assert type(tk.__spec__.loader).__name__ == "ExtensionFileLoader"


# ---- the stub against the runtime ----


def stub_methods():
    """(class name, method name, ast node) of every def in the installed stub."""
    tree = ast.parse((PACKAGE_DIR / "__init__.pyi").read_text(encoding="utf-8"))
    return [
        (cls.name, node.name, node)
        for cls in tree.body
        if isinstance(cls, ast.ClassDef)
        for node in cls.body
        if isinstance(node, ast.FunctionDef)
    ]


STUB_METHODS = stub_methods()


def runtime_parameters(cls, name):
    """(name, default text or None) of each parameter in the runtime __text_signature__;
    a `*` stands for itself, before the keyword-only ones."""
    owner = cls if name == "__new__" else getattr(cls, name)
    text = owner.__text_signature__
    assert text.startswith("(") and text.endswith(")")
    params = [p for p in text[1:-1].split(", ") if p and p != "$self"]
    return [tuple(p.split("=", 1)) if "=" in p else (p, None) for p in params]


def stub_parameters(args, receiver):
    """The same for a stub `def`: positional parameters, then `*` and the keyword-only ones."""
    params = args.args[len(receiver) :]
    defaults = [None] * (len(params) - len(args.defaults)) + [ast.unparse(d) for d in args.defaults]
    keyword_only = [
        (a.arg, None if d is None else ast.unparse(d)) for a, d in zip(args.kwonlyargs, args.kw_defaults, strict=True)
    ]
    return [(a.arg, d) for a, d in zip(params, defaults, strict=True)] + (
        [("*", None)] + keyword_only if keyword_only else []
    )


@pytest.mark.parametrize(("cls_name", "name", "node"), STUB_METHODS, ids=[f"{c}.{m}" for c, m, _ in STUB_METHODS])
def test_stub_parameters_match_text_signature(cls_name, name, node):
    cls = getattr(tk, cls_name)
    args = node.args
    # The runtime has no positional-only parameters nor *args or **kwargs: the stub neither.
    assert (args.posonlyargs, args.vararg, args.kwarg) == ([], None, None)
    is_static = isinstance(inspect.getattr_static(cls, name), staticmethod)
    assert [ast.unparse(d) for d in node.decorator_list] == (["staticmethod"] if is_static else [])
    receiver = [] if is_static else ["cls" if name == "__new__" else "self"]
    assert [a.arg for a in args.args[: len(receiver)]] == receiver
    assert stub_parameters(args, receiver) == runtime_parameters(cls, name)


def test_stubtest_finds_no_difference(tmp_path):
    result = run_tool("mypy.stubtest", MODULE, cwd=tmp_path)
    assert result.returncode == 0, result.stdout + result.stderr


# ---- typed clients ----


def test_typed_client_passes_mypy_strict_and_runs(tmp_path):
    client = DATA / "typed_client.py"
    result = mypy("--strict", str(client), cwd=tmp_path)
    assert (result.returncode, result.stdout) == (0, "")
    runpy.run_path(str(client), run_name="__main__")


def expected_errors(path):
    """(line, message) from each `# E: message` comment."""
    marks = (re.search(r"  # E: (.*)$", line) for line in path.read_text().splitlines())
    return [(n, m.group(1)) for n, m in enumerate(marks, start=1) if m]


def numpy_shape_spelled_once(message):
    """The message with numpy's array shape type written one way: numpy releases for older
    interpreters spell `NDArray`'s shape `tuple[int, ...]`, newer ones `tuple[Any, ...]`."""
    return message.replace("ndarray[tuple[int, ...],", "ndarray[tuple[Any, ...],")


def test_wrong_client_fails_mypy_with_the_expected_errors(tmp_path):
    client = DATA / "typed_client_wrong.py"
    expected = expected_errors(client)
    assert len(expected) == 15
    result = mypy("--strict", "--hide-error-context", str(client), cwd=tmp_path)
    reported = [(int(m.group(1)), m.group(2)) for m in re.finditer(r"^.*?:(\d+): error: (.*)$", result.stdout, re.M)]
    assert result.returncode == 1
    assert [(n, numpy_shape_spelled_once(m)) for n, m in reported] == expected


# ---- the records, through the tool's listing ----


def listing_path():
    """The listing written by the build that installed the stub, newest first; None if none."""
    if "TORSO_STUB_RECORDS" in os.environ:
        return Path(os.environ["TORSO_STUB_RECORDS"])
    installed = (PACKAGE_DIR / "__init__.pyi").read_bytes()
    listings = sorted(SOURCE.glob("build/*/typed/stub_records.jsonl"), key=lambda p: p.stat().st_mtime, reverse=True)
    stubs = ((path, path.with_name(f"{MODULE}.pyi")) for path in listings)
    return next((path for path, stub in stubs if stub.is_file() and stub.read_bytes() == installed), None)


def load_listing(path):
    return [] if path is None else [json.loads(line) for line in path.read_text(encoding="utf-8").splitlines()]


LISTING_PATH = listing_path()
LISTING = load_listing(LISTING_PATH)
needs_listing = pytest.mark.skipif(LISTING_PATH is None, reason="no stub tool listing of this build here")
CLASS_RECORDS = [r for r in LISTING if r["registry"] == "classes"]
METHODS_RECORDS = [r for r in LISTING if r["registry"] == "methods"]


def methods_of(class_name):
    (record,) = [r for r in CLASS_RECORDS if r["name"] == class_name]
    (methods,) = [m for m in METHODS_RECORDS if m["identity"] == record["identity"]]
    return {m["name"]: m for m in methods["methods"]}


@needs_listing
def test_walk_meets_the_neck_first_in_both_registries():
    # Added arm class, arm methods, neck class, neck methods; a walk starts at the newest.
    assert [r["name"] for r in CLASS_RECORDS] == [NECK, ARM]
    assert [r["position"] for r in LISTING] == [0, 1, 0, 1]
    assert [list(methods_of(r["name"])) for r in CLASS_RECORDS] == [
        [
            "__new__",
            "fk",
            "ik",
            "jacobian",
            "joint_rates",
            "fk_batch",
            "ik_batch",
            "jacobian_batch",
            "joint_rates_batch",
        ],
        [
            "__new__",
            "default_left",
            "default_right",
            "from_json",
            "fk",
            "ik",
            "ik_from_direction",
            "direction",
            "is_reachable_joints",
            "is_reachable_orientation",
            "is_reachable_direction",
            "arm_arc",
            "coupler_arc",
            "mirror",
            "jacobian",
            "direction_jacobian",
            "joint_rates",
            "manipulability",
            "ik_solutions",
            "ik_from_direction_solutions",
            "to_json",
            "branch",
            "fk_batch",
            "direction_batch",
            "is_reachable_joints_batch",
            "ik_batch",
            "is_reachable_orientation_batch",
            "ik_from_direction_batch",
            "is_reachable_direction_batch",
            "ik_from_direction_path",
            "jacobian_batch",
            "direction_jacobian_batch",
            "manipulability_batch",
            "ik_nearest",
            "ik_nearest_batch",
            "joint_rates_batch",
            "linkage_points",
            "linkage_points_batch",
        ],
    ]
    assert [r["identity"] for r in METHODS_RECORDS] == [r["identity"] for r in CLASS_RECORDS]


@needs_listing
def test_each_class_record_matches_exactly_one_methods_record():
    identities = [r["identity"] for r in CLASS_RECORDS]
    assert len(set(identities)) == 2
    for identity in identities:
        assert [m["identity"] for m in METHODS_RECORDS].count(identity) == 1


@needs_listing
@pytest.mark.parametrize("record", CLASS_RECORDS, ids=[r["name"] for r in CLASS_RECORDS])
def test_class_record_facts(record):
    assert (record["doc"], record["module"]) == ("", MODULE)
    assert (record["instance_members"], record["class_members"]) == ([], [])
    (methods,) = [m for m in METHODS_RECORDS if m["identity"] == record["identity"]]
    assert methods["attributes"] == []


JOINTS = [("theta_a", "absent", None), ("theta_b", "absent", None)]
WORKERS = ("workers", "with_default", "1")
OUT = ("out", "with_default", "None")

# (class, method, kind, [(argument, signature form, default text)])
ENTRIES = [
    (
        ARM,
        "__new__",
        3,
        [
            ("arm_arc", "with_default", "0.7"),
            ("coupler_arc", "with_default", "0.5"),
            ("mirror", "with_default", "False"),
        ],
    ),
    (ARM, "default_left", 1, []),
    (ARM, "default_right", 1, []),
    (ARM, "from_json", 1, [("json", "absent", None)]),
    (ARM, "fk", 0, JOINTS),
    (ARM, "ik", 0, [("r_target", "absent", None)]),
    (ARM, "ik_from_direction", 0, [("v3", "plain", None), ("near", "with_default", "None")]),
    (ARM, "direction", 0, JOINTS),
    (ARM, "is_reachable_joints", 0, JOINTS),
    (ARM, "is_reachable_orientation", 0, [("r_target", "absent", None)]),
    (ARM, "is_reachable_direction", 0, [("v3", "absent", None)]),
    (ARM, "arm_arc", 0, []),
    (ARM, "coupler_arc", 0, []),
    (ARM, "mirror", 0, []),
    (ARM, "jacobian", 0, JOINTS),
    (ARM, "direction_jacobian", 0, JOINTS),
    (ARM, "joint_rates", 0, [*JOINTS, ("direction_rate", "absent", None)]),
    (ARM, "manipulability", 0, JOINTS),
    (ARM, "ik_solutions", 0, [("r_target", "absent", None)]),
    (ARM, "ik_from_direction_solutions", 0, [("v3", "absent", None)]),
    (ARM, "to_json", 0, []),
    (ARM, "branch", 0, []),
    *[
        (ARM, name, 0, [(argument, "plain", None), WORKERS, OUT])
        for name, argument in [
            ("fk_batch", "joints"),
            ("direction_batch", "joints"),
            ("is_reachable_joints_batch", "joints"),
            ("ik_batch", "rotations"),
            ("is_reachable_orientation_batch", "rotations"),
            ("is_reachable_direction_batch", "directions"),
            ("jacobian_batch", "joints"),
            ("direction_jacobian_batch", "joints"),
            ("manipulability_batch", "joints"),
        ]
    ],
    (
        ARM,
        "ik_from_direction_batch",
        0,
        [("directions", "plain", None), ("near", "with_default", "None"), WORKERS, OUT],
    ),
    (ARM, "ik_from_direction_path", 0, [("directions", "plain", None), ("near", "with_default", "None"), OUT]),
    (ARM, "ik_nearest", 0, [("r_target", "absent", None)]),
    (ARM, "ik_nearest_batch", 0, [("rotations", "plain", None), WORKERS, OUT]),
    (ARM, "joint_rates_batch", 0, [("joints", "plain", None), ("direction_rates", "plain", None), WORKERS, OUT]),
    (ARM, "linkage_points", 0, JOINTS),
    (ARM, "linkage_points_batch", 0, [("joints", "plain", None), WORKERS, OUT]),
    (NECK, "__new__", 3, []),
    (NECK, "fk", 0, [("joints", "absent", None)]),
    (NECK, "ik", 0, [("r", "absent", None)]),
    (NECK, "jacobian", 0, [("joints", "absent", None)]),
    (NECK, "joint_rates", 0, [("joints", "absent", None), ("angular_velocity", "absent", None)]),
    (NECK, "fk_batch", 0, [("joints", "plain", None), WORKERS, OUT]),
    (NECK, "ik_batch", 0, [("rotations", "plain", None), WORKERS, OUT]),
    (NECK, "jacobian_batch", 0, [("joints", "plain", None), WORKERS, OUT]),
    (NECK, "joint_rates_batch", 0, [("joints", "plain", None), ("angular_velocities", "plain", None), WORKERS, OUT]),
]


@needs_listing
@pytest.mark.parametrize(("cls_name", "name", "kind", "arguments"), ENTRIES, ids=[f"{c}.{m}" for c, m, _, _ in ENTRIES])
def test_method_entry_kind_and_signature_forms(cls_name, name, kind, arguments):
    entry = methods_of(cls_name)[name]
    assert entry["kind"] == kind
    assert [(a["name"], a["form"], a["default"]) for a in entry["arguments"]] == arguments
    assert [a["keyword_only"] for a in entry["arguments"]] == [a in (WORKERS, OUT) for a in arguments]


def all_type_infos():
    for cls_name in (ARM, NECK) if LISTING else ():
        for name, entry in methods_of(cls_name).items():
            yield f"{cls_name}.{name}->", entry["result"]
            for argument in entry["arguments"]:
                yield f"{cls_name}.{name}({argument['name']})", argument["type"]


TYPE_INFOS = list(all_type_infos())


@needs_listing
@pytest.mark.parametrize(("where", "info"), TYPE_INFOS, ids=[w for w, _ in TYPE_INFOS])
def test_module_set_is_what_the_expression_names(where, info):
    # Dotted names need their module (all but the last part: numpy.typing.NDArray needs
    # numpy.typing); a bare class name is one of this module's classes; `tuple` is a builtin
    # name and needs nothing more than its elements do.
    expression = info["expression"]
    named = set(re.findall(r"([\w.]+)\.\w+", expression))
    if re.search(rf"(?<![.\w])({ARM}|{NECK})\b", expression):
        named.add(MODULE)
    assert sorted(info["modules"]) == sorted(named)
    assert info["modules"] == sorted(set(info["modules"]))
