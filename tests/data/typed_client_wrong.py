"""Calls that the stub must refuse; each `# E:` comment is the error mypy reports for its line."""

from tarvelo_torso_kinematics import TarveloArmKinematics, TarveloNeckKinematics

arm = TarveloArmKinematics.default_left()
neck = TarveloNeckKinematics()

arm.fk(0.1)  # E: Missing positional argument "theta_b" in call to "fk" of "TarveloArmKinematics"  [call-arg]
arm.fk(0.1, theta_c=0.2)  # E: Unexpected keyword argument "theta_c" for "fk" of "TarveloArmKinematics"; did you mean "theta_a" or "theta_b"?  [call-arg]
arm.ik_from_direction([0.0, 0.0, 1.0], near=(0.1, 0.2, 0.3))  # E: Argument "near" to "ik_from_direction" of "TarveloArmKinematics" has incompatible type "tuple[float, float, float]"; expected "tuple[float, float] | None"  [arg-type]
arm.is_reachable_direction([0.0, 0.0, 1.0], near=None)  # E: Unexpected keyword argument "near" for "is_reachable_direction" of "TarveloArmKinematics"  [call-arg]
TarveloArmKinematics.from_json(b"{}")  # E: Argument 1 to "from_json" of "TarveloArmKinematics" has incompatible type "bytes"; expected "str"  [arg-type]
TarveloArmKinematics(mirror="yes")  # E: Argument "mirror" to "TarveloArmKinematics" has incompatible type "str"; expected "bool"  [arg-type]
TarveloNeckKinematics(0.1)  # E: Too many arguments for "TarveloNeckKinematics"  [call-arg]
as_tuple: tuple[float, ...] = arm.fk(0.1, 0.2)  # E: Incompatible types in assignment (expression has type "list[list[float]]", variable has type "tuple[float, ...]")  [assignment]
yaw, pitch = neck.ik(neck.fk([0.0, 0.0, 0.0]))  # E: Too many values to unpack (2 expected, 3 provided)  [misc]
arc: float = arm.arm_arc  # E: Incompatible types in assignment (expression has type "Callable[[], float]", variable has type "float")  [assignment]
side: int = arm.branch()  # E: Incompatible types in assignment (expression has type "Literal['positive', 'negative']", variable has type "int")  [assignment]
document: bytes = arm.to_json()  # E: Incompatible types in assignment (expression has type "str", variable has type "bytes")  [assignment]
arm.fk_batch([[0.1, 0.2]], 2)  # E: Too many positional arguments for "fk_batch" of "TarveloArmKinematics"  [call-arg]
neck.fk(0.1)  # E: Argument 1 to "fk" of "TarveloNeckKinematics" has incompatible type "float"; expected "Sequence[float] | ndarray[tuple[Any, ...], dtype[floating[Any]]]"  [arg-type]


class LongerArm(TarveloArmKinematics):  # E: Cannot inherit from final class "TarveloArmKinematics"  [misc]
    pass

