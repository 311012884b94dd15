import builtins
import numpy
import numpy.typing
import typing

__all__ = ["TarveloArmKinematics", "TarveloNeckKinematics"]

@typing.final
class TarveloArmKinematics:
    def __new__(
        cls,
        arm_arc: builtins.float = 0.7,
        coupler_arc: builtins.float = 0.5,
        mirror: builtins.bool = False,
    ) -> TarveloArmKinematics:
        """Create an arm with explicit geometry parameters.

        - `arm_arc`: arc length (radians) of each input arm.
        - `coupler_arc`: arc length (radians) of each coupler segment.
        - `mirror`: when true, mirror the arm across the YZ plane (right arm).
        """

    @staticmethod
    def default_left() -> TarveloArmKinematics:
        """Build the default left-arm geometry."""

    @staticmethod
    def default_right() -> TarveloArmKinematics:
        """Build the default right-arm geometry (mirror of left)."""

    @staticmethod
    def from_json(json: builtins.str) -> TarveloArmKinematics:
        """Build the arm from a JSON string matching `SphericalLinkGeometry`."""

    def fk(
        self,
        theta_a: builtins.float,
        theta_b: builtins.float,
    ) -> builtins.list[builtins.list[builtins.float]]:
        """Forward kinematics: `(θ_A, θ_B)` → 3×3 rotation of the end-effector.
        Raises `RuntimeError` when the loop fails to close (target joint
        pair is outside the workspace).
        """

    def ik(
        self,
        r_target: typing.Sequence[typing.Sequence[builtins.float]] | numpy.typing.NDArray[numpy.floating[typing.Any]],
    ) -> tuple[builtins.float, builtins.float]:
        """Inverse kinematics: 3×3 rotation → `(θ_A, θ_B)`.
        Raises `RuntimeError` when the target orientation isn't reachable.
        """

    def ik_from_direction(
        self,
        v3: typing.Sequence[builtins.float] | numpy.typing.NDArray[numpy.floating[typing.Any]],
        near: typing.Optional[tuple[builtins.float, builtins.float]] = None,
    ) -> tuple[builtins.float, builtins.float]:
        """Inverse kinematics from just the end-effector pointing direction
        (3-vector, automatically normalized). When multiple `(θ_A, θ_B)`
        branches reach the same direction, `near` (an optional current
        joint pair) picks the closest one; otherwise the smallest-norm
        solution wins.
        """

    def direction(
        self,
        theta_a: builtins.float,
        theta_b: builtins.float,
    ) -> builtins.list[builtins.float]:
        """Forward kinematics that returns just the end-effector pointing
        direction (the third column of the FK rotation, equal to `v_3`).
        """

    def is_reachable_joints(
        self,
        theta_a: builtins.float,
        theta_b: builtins.float,
    ) -> builtins.bool:
        """Whether `(θ_A, θ_B)` lands inside the workspace (loop closes)."""

    def is_reachable_orientation(
        self,
        r_target: typing.Sequence[typing.Sequence[builtins.float]] | numpy.typing.NDArray[numpy.floating[typing.Any]],
    ) -> builtins.bool:
        """Whether `r_target` is on the reachable manifold (IK succeeds)."""

    def is_reachable_direction(
        self,
        v3: typing.Sequence[builtins.float] | numpy.typing.NDArray[numpy.floating[typing.Any]],
    ) -> builtins.bool:
        """Whether the pointing direction `v3` (3-vector, auto-normalized)
        is on the reachable manifold.
        """

    def arm_arc(self) -> builtins.float: ...

    def coupler_arc(self) -> builtins.float: ...

    def mirror(self) -> builtins.bool: ...

    def jacobian(
        self,
        theta_a: builtins.float,
        theta_b: builtins.float,
    ) -> builtins.list[builtins.list[builtins.float]]:
        """Angular-velocity Jacobian, 3×2 as 3 rows of 2 floats: column 0 (1)
        is the angular velocity of the end-effector frame (the rotation `fk`
        returns), in the base frame, per unit rate of θ_A (θ_B).
        Raises `RuntimeError` when the loop fails to close.
        """

    def direction_jacobian(
        self,
        theta_a: builtins.float,
        theta_b: builtins.float,
    ) -> builtins.list[builtins.list[builtins.float]]:
        """Pointing-direction Jacobian, 3×2 as 3 rows of 2 floats: column 0 (1)
        is the velocity of `v_3` per unit rate of θ_A (θ_B), tangent to the
        sphere; not finite at the closing limit.
        Raises `RuntimeError` when the loop fails to close.
        """

    def joint_rates(
        self,
        theta_a: builtins.float,
        theta_b: builtins.float,
        direction_rate: typing.Sequence[builtins.float] | numpy.typing.NDArray[numpy.floating[typing.Any]],
    ) -> tuple[builtins.float, builtins.float]:
        """Joint rates `(θ̇_A, θ̇_B)` that move the pointing direction `v_3` with
        `direction_rate` (3-vector; its part along `v_3` is ignored).
        Raises `ValueError` at a singular configuration (an input arm's tip,
        its base axis and `v_3`, or both tips and `v_3`, within 1e-6 of one
        plane) and `RuntimeError` when the loop fails to close.
        """

    def manipulability(self, theta_a: builtins.float, theta_b: builtins.float) -> builtins.float:
        """|t_A·t_B / det M|: the area gain from joint rates to the velocity of
        `v_3`. 0 where an input arm's tip, its base axis and `v_3` lie in one
        plane; grows without bound towards the closing limit.
        Raises `RuntimeError` when the loop fails to close.
        """

    def ik_solutions(
        self,
        r_target: typing.Sequence[typing.Sequence[builtins.float]] | numpy.typing.NDArray[numpy.floating[typing.Any]],
    ) -> builtins.list[tuple[builtins.float, builtins.float]]:
        """Every `(θ_A, θ_B)` whose rotation lies within 1e-6 of `r_target`, in
        the order `ik` considers them (`ik` returns one of them); `[]` when
        there is none.
        """

    def ik_from_direction_solutions(
        self,
        v3: typing.Sequence[builtins.float] | numpy.typing.NDArray[numpy.floating[typing.Any]],
    ) -> builtins.list[tuple[builtins.float, builtins.float]]:
        """Every `(θ_A, θ_B)` that points the end-effector along `v3` (3-vector,
        automatically normalized), in the order `ik_from_direction` chooses
        among them; `[]` when `v3` is unreachable or too short.
        """

    def to_json(self) -> builtins.str:
        """The arm's geometry as a JSON document in object form, with all four
        members, laid out as `json.dumps` writes the same dict. `from_json`
        reads it back to an arm with the very same arcs (bit for bit), branch
        and mirror flag.
        Raises `ValueError` when an arc is NaN or infinite, which JSON cannot hold.
        """

    def branch(self) -> typing.Literal["positive", "negative"]:
        """Which of the two loop-closure solutions the arm takes: `"positive"`
        or `"negative"`.
        """

    def fk_batch(
        self,
        joints: numpy.typing.ArrayLike,
        *,
        workers: builtins.int = 1,
        out: typing.Optional[numpy.typing.NDArray[numpy.float64]] = None,
    ) -> numpy.typing.NDArray[numpy.float64]:
        """Forward kinematics of many joint pairs: `joints` of shape `(..., 2)`
        → float64 `(..., 3, 3)`, each element the rotation `fk` returns.
        Rows whose loop does not close are NaN. `workers` threads share the
        rows (-1: one per CPU the process may run on). `out`, when given,
        receives the rows and is returned: a writeable C-contiguous array of
        the result's shape and dtype, sharing no memory with the inputs.
        """

    def direction_batch(
        self,
        joints: numpy.typing.ArrayLike,
        *,
        workers: builtins.int = 1,
        out: typing.Optional[numpy.typing.NDArray[numpy.float64]] = None,
    ) -> numpy.typing.NDArray[numpy.float64]:
        """Pointing directions of many joint pairs: `joints` `(..., 2)` →
        float64 `(..., 3)`, each row what `direction` returns; NaN where the
        loop does not close. `workers` threads share the rows (-1: one per
        CPU the process may run on). `out`, when given, receives the rows and
        is returned: a writeable C-contiguous array of the result's shape and
        dtype, sharing no memory with the inputs.
        """

    def is_reachable_joints_batch(
        self,
        joints: numpy.typing.ArrayLike,
        *,
        workers: builtins.int = 1,
        out: typing.Optional[numpy.typing.NDArray[numpy.bool_]] = None,
    ) -> numpy.typing.NDArray[numpy.bool_]:
        """Whether each joint pair closes the loop: `joints` `(..., 2)` → bool
        `(...)`, each element what `is_reachable_joints` returns. `workers`
        threads share the rows (-1: one per CPU the process may run on).
        `out`, when given, receives the rows and is returned: a writeable
        C-contiguous array of the result's shape and dtype, sharing no memory
        with the inputs.
        """

    def ik_batch(
        self,
        rotations: numpy.typing.ArrayLike,
        *,
        workers: builtins.int = 1,
        out: typing.Optional[numpy.typing.NDArray[numpy.float64]] = None,
    ) -> numpy.typing.NDArray[numpy.float64]:
        """Inverse kinematics of many rotations: `rotations` `(..., 3, 3)`,
        row-major → float64 `(..., 2)`, each row the `(θ_A, θ_B)` of `ik`;
        NaN where the target isn't reachable. `workers` threads share the
        rows (-1: one per CPU the process may run on). `out`, when given,
        receives the rows and is returned: a writeable C-contiguous array of
        the result's shape and dtype, sharing no memory with the inputs.
        """

    def is_reachable_orientation_batch(
        self,
        rotations: numpy.typing.ArrayLike,
        *,
        workers: builtins.int = 1,
        out: typing.Optional[numpy.typing.NDArray[numpy.bool_]] = None,
    ) -> numpy.typing.NDArray[numpy.bool_]:
        """Whether each rotation is reachable: `rotations` `(..., 3, 3)` → bool
        `(...)`, each element what `is_reachable_orientation` returns.
        `workers` threads share the rows (-1: one per CPU the process may run on).
        `out`, when given, receives the rows and is returned: a writeable
        C-contiguous array of the result's shape and dtype, sharing no memory
        with the inputs.
        """

    def ik_from_direction_batch(
        self,
        directions: numpy.typing.ArrayLike,
        near: typing.Optional[numpy.typing.ArrayLike] = None,
        *,
        workers: builtins.int = 1,
        out: typing.Optional[numpy.typing.NDArray[numpy.float64]] = None,
    ) -> numpy.typing.NDArray[numpy.float64]:
        """Inverse kinematics of many pointing directions: `directions`
        `(..., 3)` → float64 `(..., 2)`, each row what `ik_from_direction`
        returns; NaN where no joint pair reaches it. `near`, when given,
        broadcasts to `(..., 2)`: one pair for every row, or one per row.
        `workers` threads share the rows (-1: one per CPU the process may run on).
        `out`, when given, receives the rows and is returned: a writeable
        C-contiguous array of the result's shape and dtype, sharing no memory
        with the inputs.
        """

    def is_reachable_direction_batch(
        self,
        directions: numpy.typing.ArrayLike,
        *,
        workers: builtins.int = 1,
        out: typing.Optional[numpy.typing.NDArray[numpy.bool_]] = None,
    ) -> numpy.typing.NDArray[numpy.bool_]:
        """Whether each pointing direction is reachable: `directions` `(..., 3)`
        → bool `(...)`, each element what `is_reachable_direction` returns.
        `workers` threads share the rows (-1: one per CPU the process may run on).
        `out`, when given, receives the rows and is returned: a writeable
        C-contiguous array of the result's shape and dtype, sharing no memory
        with the inputs.
        """

    def ik_from_direction_path(
        self,
        directions: numpy.typing.ArrayLike,
        near: typing.Optional[numpy.typing.ArrayLike] = None,
        *,
        out: typing.Optional[numpy.typing.NDArray[numpy.float64]] = None,
    ) -> numpy.typing.NDArray[numpy.float64]:
        """Inverse kinematics along a path of pointing directions, on one
        solution branch: `directions` `(N, 3)` → float64 `(N, 2)`. Row i is
        `ik_from_direction(d_i, near=previous)`, previous being the last
        reachable row's pair, or `near` while no row has been reachable.
        An unreachable row is NaN and does not move the chain. `out`, when
        given, receives the rows and is returned: a writeable C-contiguous
        array of the result's shape and dtype, sharing no memory with the
        inputs.
        """

    def jacobian_batch(
        self,
        joints: numpy.typing.ArrayLike,
        *,
        workers: builtins.int = 1,
        out: typing.Optional[numpy.typing.NDArray[numpy.float64]] = None,
    ) -> numpy.typing.NDArray[numpy.float64]:
        """Angular-velocity Jacobians of many joint pairs: `joints` `(..., 2)` →
        float64 `(..., 3, 2)`, each element what `jacobian` returns. Rows
        whose loop does not close are NaN. `workers` threads share the rows
        (-1: one per CPU the process may run on). `out`, when given, receives
        the rows and is returned: a writeable C-contiguous array of the
        result's shape and dtype, sharing no memory with the inputs.
        """

    def direction_jacobian_batch(
        self,
        joints: numpy.typing.ArrayLike,
        *,
        workers: builtins.int = 1,
        out: typing.Optional[numpy.typing.NDArray[numpy.float64]] = None,
    ) -> numpy.typing.NDArray[numpy.float64]:
        """Pointing-direction Jacobians of many joint pairs: `joints` `(..., 2)`
        → float64 `(..., 3, 2)`, each element what `direction_jacobian`
        returns. Rows whose loop does not close are NaN. `workers` threads
        share the rows (-1: one per CPU the process may run on). `out`, when
        given, receives the rows and is returned: a writeable C-contiguous
        array of the result's shape and dtype, sharing no memory with the
        inputs.
        """

    def manipulability_batch(
        self,
        joints: numpy.typing.ArrayLike,
        *,
        workers: builtins.int = 1,
        out: typing.Optional[numpy.typing.NDArray[numpy.float64]] = None,
    ) -> numpy.typing.NDArray[numpy.float64]:
        """Manipulability of many joint pairs: `joints` `(..., 2)` → float64
        `(...)`, each element what `manipulability` returns; NaN where the
        loop does not close. `workers` threads share the rows (-1: one per
        CPU the process may run on). `out`, when given, receives the rows and
        is returned: a writeable C-contiguous array of the result's shape and
        dtype, sharing no memory with the inputs.
        """

    def ik_nearest(
        self,
        r_target: typing.Sequence[typing.Sequence[builtins.float]] | numpy.typing.NDArray[numpy.floating[typing.Any]],
    ) -> tuple[builtins.float, builtins.float, builtins.float]:
        """Inverse kinematics without the 1e-6 match, for measured or planned
        orientations: 3×3 rotation → `(θ_A, θ_B, distance)`. Of the joint
        pairs that `ik` considers, the one whose rotation lies nearest to
        `r_target` (Frobenius distance), the first of equal distances; where
        `ik` succeeds, the same pair, at a distance below 1e-6.
        Raises `RuntimeError` when there is no candidate, or when every
        distance is NaN.
        """

    def ik_nearest_batch(
        self,
        rotations: numpy.typing.ArrayLike,
        *,
        workers: builtins.int = 1,
        out: typing.Optional[numpy.typing.NDArray[numpy.float64]] = None,
    ) -> numpy.typing.NDArray[numpy.float64]:
        """`ik_nearest` of many rotations: `rotations` `(..., 3, 3)`, row-major
        → float64 `(..., 3)`, each row the `(θ_A, θ_B, distance)` it returns;
        NaN where it raises. `workers` threads share the rows (-1: one per
        CPU the process may run on). `out`, when given, receives the rows and
        is returned: a writeable C-contiguous array of the result's shape and
        dtype, sharing no memory with the inputs.
        """

    def joint_rates_batch(
        self,
        joints: numpy.typing.ArrayLike,
        direction_rates: numpy.typing.ArrayLike,
        *,
        workers: builtins.int = 1,
        out: typing.Optional[numpy.typing.NDArray[numpy.float64]] = None,
    ) -> numpy.typing.NDArray[numpy.float64]:
        """Joint rates of many configurations: `joints` `(..., 2)` and
        `direction_rates` `(..., 3)` → float64 `(..., 2)`, each row what
        `joint_rates` returns; NaN where the configuration is singular or the
        loop does not close. `direction_rates` broadcasts to `(..., 3)` over
        the rows of `joints`: one rate for every row, or one per row.
        `workers` threads share the rows (-1: one per CPU the process may run
        on). `out`, when given, receives the rows and is returned: a
        writeable C-contiguous array of the result's shape and dtype, sharing
        no memory with the inputs.
        """

    def linkage_points(
        self,
        theta_a: builtins.float,
        theta_b: builtins.float,
    ) -> builtins.list[builtins.list[builtins.float]]:
        """The points of the closed linkage at `(θ_A, θ_B)`, for drawing it: the
        unit vectors `v_2` (arm A's tip), `v_3` (the pointing direction) and
        `v_4` (arm B's tip), as 3 rows of 3 floats, in the base frame.
        Raises `RuntimeError` when the loop fails to close.
        """

    def linkage_points_batch(
        self,
        joints: numpy.typing.ArrayLike,
        *,
        workers: builtins.int = 1,
        out: typing.Optional[numpy.typing.NDArray[numpy.float64]] = None,
    ) -> numpy.typing.NDArray[numpy.float64]:
        """Points of the linkage at many joint pairs: `joints` `(..., 2)` →
        float64 `(..., 3, 3)`, each element the rows `linkage_points`
        returns. Rows whose loop does not close are NaN. `workers` threads
        share the rows (-1: one per CPU the process may run on). `out`, when
        given, receives the rows and is returned: a writeable C-contiguous
        array of the result's shape and dtype, sharing no memory with the
        inputs.
        """

@typing.final
class TarveloNeckKinematics:
    def __new__(cls) -> TarveloNeckKinematics: ...

    def fk(
        self,
        joints: typing.Sequence[builtins.float] | numpy.typing.NDArray[numpy.floating[typing.Any]],
    ) -> builtins.list[builtins.list[builtins.float]]:
        """Forward kinematics. `joints = [yaw, pitch, roll]` in radians.
        Returns the 3×3 rotation matrix of the head frame in the body frame.
        """

    def ik(
        self,
        r: typing.Sequence[typing.Sequence[builtins.float]] | numpy.typing.NDArray[numpy.floating[typing.Any]],
    ) -> tuple[builtins.float, builtins.float, builtins.float]:
        """Inverse kinematics. `r` is a 3×3 rotation matrix (row-major).
        Returns `(yaw, pitch, roll)` in radians.

        Raises `ValueError` near gimbal lock (|pitch| ≈ π/2). The neck's
        pitch range is well under that limit in practice.
        """

    def jacobian(
        self,
        joints: typing.Sequence[builtins.float] | numpy.typing.NDArray[numpy.floating[typing.Any]],
    ) -> builtins.list[builtins.list[builtins.float]]:
        """Angular-velocity Jacobian, 3×3: column i is the head frame's angular
        velocity in the body frame per unit rate of joint i of
        `joints = [yaw, pitch, roll]` (radians). Its determinant is -cos(pitch).
        """

    def joint_rates(
        self,
        joints: typing.Sequence[builtins.float] | numpy.typing.NDArray[numpy.floating[typing.Any]],
        angular_velocity: typing.Sequence[builtins.float] | numpy.typing.NDArray[numpy.floating[typing.Any]],
    ) -> tuple[builtins.float, builtins.float, builtins.float]:
        """Joint rates `(yaw rate, pitch rate, roll rate)` that turn the head with
        `angular_velocity` (3-vector, body frame) at `joints`.

        Raises `ValueError` near gimbal lock, where `ik` refuses the rotation
        `fk(joints)` (|pitch| ≈ π/2).
        """

    def fk_batch(
        self,
        joints: numpy.typing.ArrayLike,
        *,
        workers: builtins.int = 1,
        out: typing.Optional[numpy.typing.NDArray[numpy.float64]] = None,
    ) -> numpy.typing.NDArray[numpy.float64]:
        """Forward kinematics of many joint triples: `joints` `(..., 3)` as
        [yaw, pitch, roll] → float64 `(..., 3, 3)`, each element the rotation
        `fk` returns. `workers` threads share the rows (-1: one per CPU the
        process may run on). `out`, when given, receives the rows and is
        returned: a writeable C-contiguous array of the result's shape and
        dtype, sharing no memory with the inputs.
        """

    def ik_batch(
        self,
        rotations: numpy.typing.ArrayLike,
        *,
        workers: builtins.int = 1,
        out: typing.Optional[numpy.typing.NDArray[numpy.float64]] = None,
    ) -> numpy.typing.NDArray[numpy.float64]:
        """Inverse kinematics of many rotations: `rotations` `(..., 3, 3)`,
        row-major → float64 `(..., 3)`, each row the `(yaw, pitch, roll)` of
        `ik`; NaN near gimbal lock. `workers` threads share the rows (-1: one
        per CPU the process may run on). `out`, when given, receives the rows
        and is returned: a writeable C-contiguous array of the result's shape
        and dtype, sharing no memory with the inputs.
        """

    def jacobian_batch(
        self,
        joints: numpy.typing.ArrayLike,
        *,
        workers: builtins.int = 1,
        out: typing.Optional[numpy.typing.NDArray[numpy.float64]] = None,
    ) -> numpy.typing.NDArray[numpy.float64]:
        """Angular-velocity Jacobians of many joint triples: `joints` `(..., 3)`
        as [yaw, pitch, roll] → float64 `(..., 3, 3)`, each element what
        `jacobian` returns. `workers` threads share the rows (-1: one per CPU
        the process may run on). `out`, when given, receives the rows and is
        returned: a writeable C-contiguous array of the result's shape and
        dtype, sharing no memory with the inputs.
        """

    def joint_rates_batch(
        self,
        joints: numpy.typing.ArrayLike,
        angular_velocities: numpy.typing.ArrayLike,
        *,
        workers: builtins.int = 1,
        out: typing.Optional[numpy.typing.NDArray[numpy.float64]] = None,
    ) -> numpy.typing.NDArray[numpy.float64]:
        """Joint rates of many configurations: `joints` `(..., 3)` as
        [yaw, pitch, roll] and `angular_velocities` `(..., 3)` (body frame)
        → float64 `(..., 3)`, each row what `joint_rates` returns; NaN near
        gimbal lock. `angular_velocities` broadcasts to `(..., 3)` over the
        rows of `joints`: one angular velocity for every row, or one per row.
        `workers` threads share the rows (-1: one per CPU the process may run
        on). `out`, when given, receives the rows and is returned: a
        writeable C-contiguous array of the result's shape and dtype, sharing
        no memory with the inputs.
        """
