"""Plain-Python kinematics of one spherical five-bar arm, for comparing results bit for bit.

Written from the formulas, not from the extension's source. Every sum is spelled out in the
order the extension uses, so with the same libm the results are the same doubles. Python's
math module raises where IEEE arithmetic gives NaN or infinity, so those few operations go
through the small wrappers below.
"""

from __future__ import annotations

import math
from dataclasses import dataclass

UNREACHABLE = "Target orientation is outside the spherical 5-bar workspace."
LOOP_OPEN = "Spherical 5-bar loop does not close: v_2 and v_4 are too far apart for the coupler."


@dataclass(frozen=True)
class Arm:
    arm_arc: float = 0.7
    coupler_arc: float = 0.5
    negative: bool = False
    mirror: bool = False

    @property
    def s(self) -> float:
        return -1.0 if self.mirror else 1.0

    @property
    def sigma(self) -> float:
        return -1.0 if self.negative else 1.0


LEFT = Arm()
RIGHT = Arm(mirror=True)
LEFT_NEGATIVE = Arm(negative=True)


def _sin(x):
    return math.nan if math.isinf(x) else math.sin(x)


def _cos(x):
    return math.nan if math.isinf(x) else math.cos(x)


def _div(a, b):
    """a / b with IEEE results where Python would raise ZeroDivisionError."""
    if b != 0.0:
        return a / b
    if a == 0.0 or math.isnan(a):
        return math.nan
    return math.copysign(math.inf, a) * math.copysign(1.0, b)


def dot(p, q):
    return (p[0] * q[0] + p[1] * q[1]) + p[2] * q[2]


def cross(p, q):
    return (p[1] * q[2] - p[2] * q[1], p[2] * q[0] - p[0] * q[2], p[0] * q[1] - p[1] * q[0])


def length(p):
    return math.sqrt(dot(p, p))


def scaled(k, p):
    return (k * p[0], k * p[1], k * p[2])


def divided(p, k):
    return (_div(p[0], k), _div(p[1], k), _div(p[2], k))


def perpendicular_part(p, unit):
    k = dot(p, unit)
    return (p[0] - k * unit[0], p[1] - k * unit[1], p[2] - k * unit[2])


def small_circle_meeting(c1, c2, r1, r2, sign):
    """Unit x with x·c1 = cos r1, x·c2 = cos r2 on the `sign` side of c1 × c2, or None."""
    m = dot(c1, c2)
    if m < -1.0:
        m = -1.0
    if m > 1.0:
        m = 1.0
    w = math.sqrt(1.0 - m * m)
    if w < 1e-12:
        return None
    a = _cos(r1)
    b = _div(_cos(r2) - a * m, w)
    t = (1.0 - a * a) - b * b
    if t < 0.0:
        return None
    n = divided(cross(c1, c2), w)
    u = cross(n, c1)
    h = sign * math.sqrt(t)
    return tuple((a * c1[i] + b * u[i]) + h * n[i] for i in range(3))


def tips(arm: Arm, theta_a, theta_b):
    """(v_2, v_4): the input-arm tips; a zero angle leaves its tip at rest."""
    s, sa, ca = arm.s, math.sin(arm.arm_arc), math.cos(arm.arm_arc)
    if theta_a == 0.0:
        v_2 = (s * sa, 0.0, ca)
    else:
        v_2 = (s * sa * _cos(theta_a), s * sa * _sin(theta_a), ca)
    if theta_b == 0.0:
        v_4 = (s * ca, 0.0, sa)
    else:
        v_4 = (s * ca, -s * sa * _sin(theta_b), sa * _cos(theta_b))
    return v_2, v_4


def pose(arm: Arm, theta_a, theta_b):
    """(rows, v_2, v_3, v_4) of the closed linkage, or None when the loop does not close."""
    v_2, v_4 = tips(arm, theta_a, theta_b)
    v_3 = small_circle_meeting(v_2, v_4, arm.coupler_arc, arm.coupler_arc, arm.sigma)
    if v_3 is None:
        return None
    both = (v_2[0] + v_4[0], v_2[1] + v_4[1], v_2[2] + v_4[2])
    p = perpendicular_part(divided(both, length(both)), v_3)
    if length(p) > 1e-12:
        e_x = divided(p, length(p))
    else:
        h = (1.0, 0.0, 0.0) if abs(v_3[0]) < 0.9 else (0.0, 1.0, 0.0)
        q = perpendicular_part(h, v_3)
        e_x = divided(q, length(q))
    e_y = cross(v_3, e_x)
    rows = [[e_x[i], e_y[i], v_3[i]] for i in range(3)]
    return rows, v_2, v_3, v_4


def fk(arm: Arm, theta_a, theta_b):
    """Rows of the end-effector rotation, or None."""
    closed = pose(arm, theta_a, theta_b)
    return None if closed is None else closed[0]


def direction(arm: Arm, theta_a, theta_b):
    closed = pose(arm, theta_a, theta_b)
    return None if closed is None else list(closed[2])


def candidates(arm: Arm, d):
    """[(theta_a, theta_b, rows, v_3)] for tip signs (+,+), (+,-), (-,+), (-,-)."""
    s, sa = arm.s, math.sin(arm.arm_arc)
    found = []
    for sign_a in (1.0, -1.0):
        p_a = small_circle_meeting((0.0, 0.0, 1.0), d, arm.arm_arc, arm.coupler_arc, sign_a)
        if p_a is None:
            continue
        theta_a = math.atan2(s * sa * p_a[1], s * sa * p_a[0])
        for sign_b in (1.0, -1.0):
            p_b = small_circle_meeting((s, 0.0, 0.0), d, arm.arm_arc, arm.coupler_arc, sign_b)
            if p_b is None:
                continue
            theta_b = math.atan2(-s * sa * p_b[1], sa * p_b[2])
            closed = pose(arm, theta_a, theta_b)
            if closed is not None:
                found.append((theta_a, theta_b, closed[0], closed[2]))
    return found


def frobenius(rows_p, rows_q):
    """Distance of two row-list matrices, squares summed column by column, top to bottom."""
    total = 0.0
    for col in range(3):
        for row in range(3):
            diff = rows_p[row][col] - rows_q[row][col]
            total += diff * diff
    return math.sqrt(total)


def ik(arm: Arm, rows):
    """(theta_a, theta_b) of the first closest candidate within 1e-6, or None."""
    d = (rows[0][2], rows[1][2], rows[2][2])
    best, best_e = None, math.inf
    for theta_a, theta_b, cand_rows, _ in candidates(arm, d):
        e = frobenius(cand_rows, rows)
        if e < 1e-6 and (best is None or e < best_e):
            best, best_e = (theta_a, theta_b), e
    return best


def ik_nearest(arm: Arm, rows):
    """(theta_a, theta_b, distance) of the first candidate at least distance, NaN never, or None."""
    d = (rows[0][2], rows[1][2], rows[2][2])
    best = None
    for theta_a, theta_b, cand_rows, _ in candidates(arm, d):
        e = frobenius(cand_rows, rows)
        if not math.isnan(e) and (best is None or e < best[2]):
            best = (theta_a, theta_b, e)
    return best


def scaled_to_exponent_510(v):
    """v times the power of two that puts its largest component in [2^510, 2^511)."""
    _, exponent = math.frexp(max(abs(x) for x in v))  # largest = m * 2^exponent, 0.5 <= m < 1
    return tuple(math.ldexp(x, 511 - exponent) for x in v)


def survivors(arm: Arm, v):
    """Joint pairs pointing along v, in candidate order; None when v is too short."""
    n = length(v)
    if math.isinf(n) and all(math.isfinite(x) for x in v):
        v = scaled_to_exponent_510(v)  # the squares overflowed, not the components
        n = length(v)
    if n < 1e-12:
        return None
    d = divided(v, n)
    kept = []
    for theta_a, theta_b, _, v_3 in candidates(arm, d):
        gap = (v_3[0] - d[0], v_3[1] - d[1], v_3[2] - d[2])
        if length(gap) < 1e-6:
            kept.append((theta_a, theta_b))
    return kept


def ik_from_direction(arm: Arm, v, near=None):
    kept = survivors(arm, v)
    if not kept:
        return None
    return cheapest(kept, near)


def cheapest(kept, near=None):
    """The first pair of least cost (to `near`, else to the origin) in a non-empty list."""
    if len(kept) == 1:
        return kept[0]

    def cost(pair):
        if near is None:
            return pair[0] * pair[0] + pair[1] * pair[1]
        da, db = pair[0] - near[0], pair[1] - near[1]
        return da * da + db * db

    best = kept[0]
    for pair in kept[1:]:
        if cost(best) > cost(pair):
            best = pair
    return best


def same_bits(x, y):
    """Equal as doubles, NaN equal to NaN and 0.0 to -0.0 (the sign of an exact zero is free)."""
    if math.isnan(x) or math.isnan(y):
        return math.isnan(x) and math.isnan(y)
    return x == y


def same_nested(got, want):
    """Element-wise same_bits over nested lists/tuples of floats; None only matches None."""
    if want is None or got is None:
        return want is None and got is None
    if isinstance(want, (list, tuple)):
        return len(got) == len(want) and all(same_nested(g, w) for g, w in zip(got, want, strict=True))
    return same_bits(got, want)
