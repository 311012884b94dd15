"""Arm geometry JSON document: the accepted shapes and every refusal with its position."""

import subprocess
import sys

import pytest

from tarvelo_torso_kinematics import TarveloArmKinematics

P = "Invalid arms.json: "
ARCS = '"arm_arc": 0.7, "coupler_arc": 0.5'
NEGATIVE_DIRECTION = [0.622814, -0.473503, 0.622814]


def branch_of(arm):
    """'positive' or 'negative': the constructor always builds the positive branch."""
    positive = TarveloArmKinematics(arm.arm_arc(), arm.coupler_arc(), arm.mirror())
    return "positive" if arm.direction(0.0, 0.0) == positive.direction(0.0, 0.0) else "negative"


ACCEPTED = [
    ("{" + ARCS + "}", (0.7, 0.5, "positive", False), "object-required-only"),
    ("{" + ARCS + ', "mirror": true}', (0.7, 0.5, "positive", True), "object-mirror"),
    (
        '{"mirror": false, "coupler_arc": 0.5, "branch": "negative", "arm_arc": 0.7}',
        (0.7, 0.5, "negative", False),
        "object-any-order",
    ),
    ("{" + ARCS + ', "branch": {"negative": null}}', (0.7, 0.5, "negative", False), "branch-object-negative"),
    ("{" + ARCS + ', "branch": {"positive": null}}', (0.7, 0.5, "positive", False), "branch-object-positive"),
    (
        '{"coupler_arc": 0.5, "mirror": true, "arm_arc": 0.7, "note": [1, {"x": null}]}',
        (0.7, 0.5, "positive", True),
        "unknown-member-nested",
    ),
    (
        '{"é": {"a": [true, false, null, "s", -1e5, {}]}, ' + ARCS + ', "": 0}',
        (0.7, 0.5, "positive", False),
        "unknown-members-every-kind",
    ),
    (
        '{"arm\\u005farc": 0.7, "coupler\\u005Farc": 0.5, "\\u0062ranch": "\\u006eegative"}',
        (0.7, 0.5, "negative", False),
        "escaped-keys-and-variant",
    ),
    ("[0.7, 0.5]", (0.7, 0.5, "positive", False), "array-two"),
    ('[0.7, 0.5, "negative"]', (0.7, 0.5, "negative", False), "array-three"),
    ('[0.7, 0.5, "positive", false]', (0.7, 0.5, "positive", False), "array-four"),
    ('[0.7, 0.5, {"negative": null}, true]', (0.7, 0.5, "negative", True), "array-branch-object"),
    ("[1, 0.5]", (1.0, 0.5, None, False), "integer-arc"),
    ('{"arm_arc": -2, "coupler_arc": 0}', (-2.0, 0.0, None, False), "negative-and-zero-integers"),
    (" \t\r\n{" + ARCS + "}\n\t \r\n", (0.7, 0.5, "positive", False), "surrounding-white-space"),
]


@pytest.mark.parametrize(("text", "expected"), [(t, e) for t, e, _ in ACCEPTED], ids=[i for _, _, i in ACCEPTED])
def test_accepted_documents(text, expected):
    arm = TarveloArmKinematics.from_json(text)
    arm_arc, coupler_arc, branch, mirror = expected
    assert type(arm) is TarveloArmKinematics
    assert (arm.arm_arc(), arm.coupler_arc(), arm.mirror()) == (arm_arc, coupler_arc, mirror)
    if branch is not None:
        assert branch_of(arm) == branch


def test_negative_branch_direction():
    arm = TarveloArmKinematics.from_json("{" + ARCS + ', "branch": "negative"}')
    assert arm.direction(0.0, 0.0) == pytest.approx(NEGATIVE_DIRECTION, abs=1e-6)


NUMBERS = [
    "7e-1",
    "1E2",
    "-0.5e+1",
    "-0",
    "2.2250738585072011e-308",  # just below the smallest normal
    "0.1000000000000000055511151231257827",  # a tie that must round by the digits after it
    "9007199254740993",  # 2^53 + 1: ties to even
    "18446744073709551615",
    "18446744073709551616",
    "-9223372036854775809",
    "123456789012345678901234567890",
    "1.7976931348623157e308",
    "4.9406564584124654e-324",
    "1e-400",
    "-1e-400",  # below the smallest subnormal: zero, with the sign
    "0.000000000000000000000000000000000000000000001e40",
]


@pytest.mark.parametrize("number", NUMBERS, ids=NUMBERS)
def test_arc_is_the_nearest_double(number):
    arm = TarveloArmKinematics.from_json(f"[{number}, {number}]")
    assert arm.arm_arc().hex() == float(number).hex()
    assert arm.coupler_arc().hex() == float(number).hex()


REFUSED = [
    # Missing and duplicate members.
    ("{}", "missing field `arm_arc` at line 1 column 2", "empty-object"),
    ('{"arm_arc": 0.7}', "missing field `coupler_arc` at line 1 column 16", "missing-coupler-arc"),
    ('{"coupler_arc": 0.5}', "missing field `arm_arc` at line 1 column 20", "missing-arm-arc"),
    (
        '{"arm_arc": 0.7, "arm_arc": 0.8, "coupler_arc": 0.5}',
        "duplicate field `arm_arc` at line 1 column 26",
        "duplicate-arm-arc",
    ),
    (
        '{"arm_arc": 0.7, "coupler_arc": 0.5, "coupler_arc": 0.5}',
        "duplicate field `coupler_arc` at line 1 column 50",
        "duplicate-coupler-arc",
    ),
    (
        "{" + ARCS + ', "branch": "positive", "branch": "negative"}',
        "duplicate field `branch` at line 1 column 67",
        "duplicate-branch",
    ),
    (
        "{" + ARCS + ', "mirror": true, "mirror": false}',
        "duplicate field `mirror` at line 1 column 61",
        "duplicate-mirror",
    ),
    (
        '{"arm_arc": 0.7, "arm\\u005farc": 0.8, "coupler_arc": 0.5}',
        "duplicate field `arm_arc` at line 1 column 31",
        "duplicate-by-escaped-key",
    ),
    # Array shape.
    (
        "[0.7]",
        "invalid length 1, expected struct SphericalLinkGeometry with 4 elements at line 1 column 5",
        "array-one",
    ),
    ("[]", "invalid length 0, expected struct SphericalLinkGeometry with 4 elements at line 1 column 2", "array-empty"),
    (
        '[0.7, 0.5, "positive", false, 1]',
        "invalid length 5, expected struct SphericalLinkGeometry with 4 elements at line 1 column 31",
        "array-five",
    ),
    (
        '[0.7, 0.5, "positive", false, 1 x]',
        "invalid length 5, expected struct SphericalLinkGeometry with 4 elements at line 1 column 31",
        "fifth-element-before-syntax-error",
    ),
    (
        '[0.7, "0.5"]',
        'invalid type: string "0.5", expected a floating-point number at line 1 column 11',
        "array-arc-string",
    ),
    ("[0.7, 0.5, true]", "invalid type: boolean `true`, expected enum Branch at line 1 column 15", "array-branch-bool"),
    ('[0.7, 0.5, "positive", null]', "invalid type: null, expected a boolean at line 1 column 27", "array-mirror-null"),
    # Top-level value of another kind.
    ('"x"', 'invalid type: string "x", expected struct SphericalLinkGeometry at line 1 column 3', "top-string"),
    ("5", "invalid type: integer `5`, expected struct SphericalLinkGeometry at line 1 column 1", "top-integer"),
    (
        "-1.5",
        "invalid type: floating point `-1.5`, expected struct SphericalLinkGeometry at line 1 column 4",
        "top-float",
    ),
    ("null", "invalid type: null, expected struct SphericalLinkGeometry at line 1 column 4", "top-null"),
    (" true", "invalid type: boolean `true`, expected struct SphericalLinkGeometry at line 1 column 5", "top-true"),
    # Arcs and mirror of the wrong type.
    (
        '{"arm_arc": "0.7", "coupler_arc": 0.5}',
        'invalid type: string "0.7", expected a floating-point number at line 1 column 17',
        "arc-string",
    ),
    (
        '{"arm_arc": null, "coupler_arc": 0.5}',
        "invalid type: null, expected a floating-point number at line 1 column 16",
        "arc-null",
    ),
    (
        '{"arm_arc": true, "coupler_arc": 0.5}',
        "invalid type: boolean `true`, expected a floating-point number at line 1 column 16",
        "arc-bool",
    ),
    (
        '{"arm_arc": [0.7], "coupler_arc": 0.5}',
        "invalid type: array, expected a floating-point number at line 1 column 13",
        "arc-array",
    ),
    (
        '{"coupler_arc": {}, "arm_arc": 0.7}',
        "invalid type: object, expected a floating-point number at line 1 column 17",
        "arc-object",
    ),
    (
        "{" + ARCS + ', "mirror": 1}',
        "invalid type: integer `1`, expected a boolean at line 1 column 48",
        "mirror-integer",
    ),
    (
        "{" + ARCS + ', "mirror": 0.0}',
        "invalid type: floating point `0.0`, expected a boolean at line 1 column 50",
        "mirror-float",
    ),
    (
        "{" + ARCS + ', "mirror": "true"}',
        'invalid type: string "true", expected a boolean at line 1 column 53',
        "mirror-string",
    ),
    ("{" + ARCS + ', "mirror": null}', "invalid type: null, expected a boolean at line 1 column 51", "mirror-null"),
    # Branch.
    (
        "{" + ARCS + ', "branch": "Positive"}',
        "unknown variant `Positive`, expected `positive` or `negative` at line 1 column 57",
        "variant-case",
    ),
    (
        "{" + ARCS + ', "branch": "a\\"b"}',
        'unknown variant `a\\"b`, expected `positive` or `negative` at line 1 column 53',
        "variant-quoted",
    ),
    (
        "{" + ARCS + ', "branch": "\\udc00"}',
        "unknown variant `\\xed\\xb0\\x80`, expected `positive` or `negative` at line 1 column 55",
        "variant-lone-surrogate",
    ),
    (
        "{" + ARCS + ', "branch": {"Negative": null}}',
        "unknown variant `Negative`, expected `positive` or `negative` at line 1 column 58",
        "variant-object-case",
    ),
    ("{" + ARCS + ', "branch": null}', "invalid type: null, expected enum Branch at line 1 column 51", "branch-null"),
    (
        "{" + ARCS + ', "branch": 1}',
        "invalid type: integer `1`, expected enum Branch at line 1 column 48",
        "branch-number",
    ),
    ("{" + ARCS + ', "branch": []}', "invalid type: array, expected enum Branch at line 1 column 48", "branch-array"),
    ("{" + ARCS + ', "branch": {}}', "missing variant of enum Branch at line 1 column 49", "branch-empty-object"),
    (
        "{" + ARCS + ', "branch": {"negative": 1}}',
        "invalid type: integer `1`, expected null at line 1 column 61",
        "variant-value-number",
    ),
    (
        "{" + ARCS + ', "branch": {"negative": {}}}',
        "invalid type: object, expected null at line 1 column 61",
        "variant-value-object",
    ),
    (
        "{" + ARCS + ', "branch": {"negative": null, "x": 1}}',
        "expected `}` after the variant of enum Branch at line 1 column 69",
        "variant-second-member",
    ),
    # Numbers beyond the double range.
    (
        '{"arm_arc": 1e400, "coupler_arc": 0.5}',
        "number too big to be stored in double at line 1 column 13",
        "arc-too-big-exponent",
    ),
    ("[1.7976931348623159e308, 0]", "number too big to be stored in double at line 1 column 23", "arc-just-too-big"),
    # The first problem in document order wins.
    (
        '{"arm_arc": "x", "arm_arc": 0.7}',
        'invalid type: string "x", expected a floating-point number at line 1 column 15',
        "type-before-duplicate",
    ),
    ('{"mirror": 1, }', "invalid type: integer `1`, expected a boolean at line 1 column 12", "type-before-syntax"),
    # Syntax, inside skipped members too.
    ("{" + ARCS + ', "note": [1,}]}', "invalid value at line 1 column 49", "skipped-value-malformed"),
    ("{" + ARCS + ', "note": tru}', "invalid value at line 1 column 49", "skipped-literal-malformed"),
    ("{" + ARCS + ', "note": "\\x"}', "invalid escape character in string at line 1 column 47", "skipped-bad-escape"),
    ("{" + ARCS + ', "note": NaN}', "invalid value at line 1 column 46", "skipped-nan"),
    (
        "{" + ARCS + ', "note": 1e99999}',
        "number too big to be stored in double at line 1 column 46",
        "skipped-number-too-big",
    ),
    (
        "{" + ARCS + ', "x": "\\ud800"}',
        "the surrogate pair in string is invalid at line 1 column 44",
        "skipped-lone-high-surrogate",
    ),
    ('{"arm_arc" 0.7}', "missing a colon after a name of object member at line 1 column 12", "missing-colon"),
    (
        "{" + ARCS + ' "mirror": true}',
        "missing a comma or '}' after an object member at line 1 column 37",
        "missing-comma",
    ),
    ("{" + ARCS + ', "mirror": true,}', "missing a name for object member at line 1 column 53", "trailing-comma"),
    ("{arm_arc: 0.7}", "missing a name for object member at line 1 column 2", "unquoted-key"),
    (
        "{" + ARCS + ', "note": [1, 2}',
        "missing a comma or ']' after an array element at line 1 column 51",
        "array-unclosed-by-brace",
    ),
    # Premature end.
    ("", "EOF while parsing a value at line 1 column 1", "empty-text"),
    ("  \n ", "EOF while parsing a value at line 2 column 2", "white-space-only"),
    ('{"arm_arc": 0.7', "EOF while parsing an object at line 1 column 16", "eof-in-object"),
    ('{"arm_arc', "EOF while parsing a string at line 1 column 10", "eof-in-key"),
    ('{"arm_arc": 0.', "EOF while parsing a number at line 1 column 15", "eof-in-number"),
    ("[0.7, ", "EOF while parsing a value at line 1 column 7", "eof-after-comma"),
    ("[0.7, 0.5", "EOF while parsing an array at line 1 column 10", "eof-in-array"),
    # Trailing characters.
    ("{" + ARCS + "} x", "trailing characters at line 1 column 38", "trailing-word"),
    ("{" + ARCS + "}}", "trailing characters at line 1 column 37", "trailing-brace"),
    ("[0.7, 0.5]\n\n[", "trailing characters at line 3 column 1", "second-document"),
    ("{" + ARCS + "}\x00", "trailing characters at line 1 column 37", "trailing-nul"),
    (
        '{"arm_arc": 0.7\x00, "coupler_arc": 0.5}',
        "missing a comma or '}' after an object member at line 1 column 16",
        "nul-inside",
    ),
    # Lines count LF bytes only; columns count bytes.
    (
        '{\n  "arm_arc": 0.7,\n  "coupler_arc": "x"\n}',
        'invalid type: string "x", expected a floating-point number at line 3 column 20',
        "multi-line",
    ),
    (
        '{\r\n  "arm_arc": 0.7,\r\n  "coupler_arc": "x"\r\n}',
        'invalid type: string "x", expected a floating-point number at line 3 column 20',
        "crlf-lines",
    ),
    ('{\n  "arm_arc": 0.7\n}', "missing field `coupler_arc` at line 3 column 1", "missing-at-last-line"),
    (
        '{"é": 0, "arm_arc": "x", "coupler_arc": 0.5}',
        'invalid type: string "x", expected a floating-point number at line 1 column 24',
        "column-in-bytes",
    ),
]


@pytest.mark.parametrize(("text", "message"), [(t, m) for t, m, _ in REFUSED], ids=[i for _, _, i in REFUSED])
def test_refused_documents(text, message):
    with pytest.raises(ValueError) as info:
        TarveloArmKinematics.from_json(text)
    assert type(info.value) is ValueError
    assert str(info.value) == P + message


def test_from_json_by_keyword():
    arm = TarveloArmKinematics.from_json(json='[0.9, 0.4, "positive", true]')
    assert (arm.arm_arc(), arm.coupler_arc(), arm.mirror()) == (0.9, 0.4, True)


# Depth lives on the reader's heap stack: run in a child so a stack overflow could not take
# pytest down with it.
DEEP = r"""
import sys
from tarvelo_torso_kinematics import TarveloArmKinematics
n, kind, head = int(sys.argv[1]), sys.argv[2], sys.argv[3]
text = {
    "arrays": head + "[" * n + "]" * n + "}",
    "objects": head + '{"a": ' * n + "1" + "}" * n + "}",
    "mixed": head + '[{"a": ' * n + "null" + "}]" * n + "}",
    "unclosed": head + "[" * n,
    "top-level": "[" * n + "]" * n,
}[kind]
try:
    print("ok", TarveloArmKinematics.from_json(text).arm_arc())
except ValueError as error:
    print("error", error)
"""
DEPTH = 100_000
HEAD = "{" + ARCS + ', "note": '


@pytest.mark.parametrize(
    ("kind", "output"),
    [
        ("arrays", "ok 0.7"),
        ("objects", "ok 0.7"),
        ("mixed", "ok 0.7"),
        ("unclosed", f"error {P}EOF while parsing a value at line 1 column {len(HEAD) + DEPTH + 1}"),
        ("top-level", f"error {P}invalid type: array, expected a floating-point number at line 1 column 2"),
    ],
    ids=["arrays", "objects", "mixed", "unclosed", "top-level"],
)
def test_deep_nesting_never_crashes(kind, output):
    child = subprocess.run(
        [sys.executable, "-c", DEEP, str(DEPTH), kind, HEAD], capture_output=True, text=True, timeout=120
    )
    assert child.returncode == 0, child.stderr
    assert child.stdout.strip() == output


def test_tables_are_not_empty():
    assert len(ACCEPTED) >= 10 and len(REFUSED) >= 50 and len(NUMBERS) >= 10
