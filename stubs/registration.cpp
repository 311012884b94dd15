// The records of TarveloArmKinematics and TarveloNeckKinematics, added at load time.
#include <array>
#include <optional>
#include <string_view>

#include "arm/geometry.h"
#include "core/joints.h"
#include "core/vec.h"
#include "stubs/docs.h"
#include "stubs/records.h"
#include "stubs/registry.h"

namespace torso::stubs {
namespace {

constexpr std::string_view kModuleName = "tarvelo_torso_kinematics";

/// Native type of each class, as seen from here: tags that name the Python class.
struct ArmKinematics {
    static constexpr std::string_view python_name = "TarveloArmKinematics";
    static constexpr std::string_view module_name = kModuleName;
};
struct NeckKinematics {
    static constexpr std::string_view python_name = "TarveloNeckKinematics";
    static constexpr std::string_view module_name = kModuleName;
};

using docs::doc_body;
using Arm = ModuleClass<ArmKinematics>;
using Neck = ModuleClass<NeckKinematics>;
constexpr auto kInstance = MethodKind::instance;

// The constructor's defaults are those of the default left arm, as in the binding.
constexpr DefaultText kArmArcDefault{&repr_of<arm::kDefaultLeft.arm_arc>};
constexpr DefaultText kCouplerArcDefault{&repr_of<arm::kDefaultLeft.coupler_arc>};
constexpr DefaultText kMirrorDefault{&repr_of<arm::kDefaultLeft.mirror>};
constexpr DefaultText kNoneDefault{&none_text};
constexpr DefaultText kWorkersDefault{&repr_of<docs::kDefaultWorkers>};

constexpr PyArgEntry kArmNewArguments[] = {
    defaulted_argument<double>("arm_arc", kArmArcDefault),
    defaulted_argument<double>("coupler_arc", kCouplerArcDefault),
    defaulted_argument<bool>("mirror", kMirrorDefault),
};
constexpr PyArgEntry kJsonArguments[] = {argument<std::string_view>("json")};
constexpr PyArgEntry kJointPairArguments[] = {argument<double>("theta_a"),
                                              argument<double>("theta_b")};
constexpr PyArgEntry kRotationArguments[] = {argument<Mat3>("r_target")};
// ik_from_direction spells out its signature because of `near`; is_reachable_direction does not.
constexpr PyArgEntry kDirectionNearArguments[] = {
    plain_argument<Vec3>("v3"),
    defaulted_argument<std::optional<JointPair>>("near", kNoneDefault),
};
constexpr PyArgEntry kDirectionArguments[] = {argument<Vec3>("v3")};
constexpr PyArgEntry kJointRateArguments[] = {
    argument<double>("theta_a"), argument<double>("theta_b"), argument<Vec3>("direction_rate")};

// The array methods spell out their signatures (for the keyword-only `workers`).
template <class... Leading>
constexpr auto array_arguments(Leading... leading) {
    return std::array<PyArgEntry, sizeof...(Leading) + 1>{
        leading..., keyword_only_argument<int>("workers", kWorkersDefault)};
}
constexpr auto kJointsBatchArguments = array_arguments(plain_argument<ArrayLike>("joints"));
constexpr auto kRotationsBatchArguments = array_arguments(plain_argument<ArrayLike>("rotations"));
constexpr auto kDirectionsBatchArguments = array_arguments(plain_argument<ArrayLike>("directions"));
constexpr auto kDirectionsNearBatchArguments =
    array_arguments(plain_argument<ArrayLike>("directions"),
                    defaulted_argument<std::optional<ArrayLike>>("near", kNoneDefault));
constexpr PyArgEntry kPathArguments[] = {
    plain_argument<ArrayLike>("directions"),
    defaulted_argument<std::optional<ArrayLike>>("near", kNoneDefault),
};
using Floats = NDArray<double>;
using Bools = NDArray<bool>;

constexpr PyMethodEntry kArmMethods[] = {
    method<Arm>("__new__", MethodKind::constructor, kArmNewArguments, docs::kArmNewBody),
    method<Arm>("default_left", MethodKind::static_method, {}, doc_body(docs::kArmDefaultLeft)),
    method<Arm>("default_right", MethodKind::static_method, {}, doc_body(docs::kArmDefaultRight)),
    method<Arm>("from_json", MethodKind::static_method, kJsonArguments,
                doc_body(docs::kArmFromJson)),
    method<Mat3>("fk", kInstance, kJointPairArguments, doc_body(docs::kArmFk)),
    method<JointPair>("ik", kInstance, kRotationArguments, doc_body(docs::kArmIk)),
    method<JointPair>("ik_from_direction", kInstance, kDirectionNearArguments,
                      doc_body(docs::kArmIkFromDirection)),
    method<Vec3>("direction", kInstance, kJointPairArguments, doc_body(docs::kArmDirection)),
    method<bool>("is_reachable_joints", kInstance, kJointPairArguments,
                 doc_body(docs::kArmIsReachableJoints)),
    method<bool>("is_reachable_orientation", kInstance, kRotationArguments,
                 doc_body(docs::kArmIsReachableOrientation)),
    method<bool>("is_reachable_direction", kInstance, kDirectionArguments,
                 doc_body(docs::kArmIsReachableDirection)),
    method<double>("arm_arc", kInstance, {}, doc_body(docs::kArmArmArc)),
    method<double>("coupler_arc", kInstance, {}, doc_body(docs::kArmCouplerArc)),
    method<bool>("mirror", kInstance, {}, doc_body(docs::kArmMirror)),
    method<Mat3x2>("jacobian", kInstance, kJointPairArguments, doc_body(docs::kArmJacobian)),
    method<Mat3x2>("direction_jacobian", kInstance, kJointPairArguments,
                   doc_body(docs::kArmDirectionJacobian)),
    method<JointPair>("joint_rates", kInstance, kJointRateArguments,
                      doc_body(docs::kArmJointRates)),
    method<double>("manipulability", kInstance, kJointPairArguments,
                   doc_body(docs::kArmManipulability)),
    method<JointPairList>("ik_solutions", kInstance, kRotationArguments,
                          doc_body(docs::kArmIkSolutions)),
    method<JointPairList>("ik_from_direction_solutions", kInstance, kDirectionArguments,
                          doc_body(docs::kArmIkFromDirectionSolutions)),
    method<std::string_view>("to_json", kInstance, {}, doc_body(docs::kArmToJson)),
    method<arm::Branch>("branch", kInstance, {}, doc_body(docs::kArmBranch)),
    method<Floats>("fk_batch", kInstance, kJointsBatchArguments, doc_body(docs::kArmFkBatch)),
    method<Floats>("direction_batch", kInstance, kJointsBatchArguments,
                   doc_body(docs::kArmDirectionBatch)),
    method<Bools>("is_reachable_joints_batch", kInstance, kJointsBatchArguments,
                  doc_body(docs::kArmIsReachableJointsBatch)),
    method<Floats>("ik_batch", kInstance, kRotationsBatchArguments, doc_body(docs::kArmIkBatch)),
    method<Bools>("is_reachable_orientation_batch", kInstance, kRotationsBatchArguments,
                  doc_body(docs::kArmIsReachableOrientationBatch)),
    method<Floats>("ik_from_direction_batch", kInstance, kDirectionsNearBatchArguments,
                   doc_body(docs::kArmIkFromDirectionBatch)),
    method<Bools>("is_reachable_direction_batch", kInstance, kDirectionsBatchArguments,
                  doc_body(docs::kArmIsReachableDirectionBatch)),
    method<Floats>("ik_from_direction_path", kInstance, kPathArguments,
                   doc_body(docs::kArmIkFromDirectionPath)),
    method<Floats>("jacobian_batch", kInstance, kJointsBatchArguments,
                   doc_body(docs::kArmJacobianBatch)),
    method<Floats>("direction_jacobian_batch", kInstance, kJointsBatchArguments,
                   doc_body(docs::kArmDirectionJacobianBatch)),
    method<Floats>("manipulability_batch", kInstance, kJointsBatchArguments,
                   doc_body(docs::kArmManipulabilityBatch)),
};

constexpr PyArgEntry kJointsArguments[] = {argument<JointTriple>("joints")};
constexpr PyArgEntry kNeckRotationArguments[] = {argument<Mat3>("r")};
constexpr PyArgEntry kNeckJointRateArguments[] = {argument<JointTriple>("joints"),
                                                  argument<Vec3>("angular_velocity")};

constexpr PyMethodEntry kNeckMethods[] = {
    method<Neck>("__new__", MethodKind::constructor, {}, ""),
    method<Mat3>("fk", kInstance, kJointsArguments, doc_body(docs::kNeckFk)),
    method<JointTriple>("ik", kInstance, kNeckRotationArguments, doc_body(docs::kNeckIk)),
    method<Mat3>("jacobian", kInstance, kJointsArguments, doc_body(docs::kNeckJacobian)),
    method<JointTriple>("joint_rates", kInstance, kNeckJointRateArguments,
                        doc_body(docs::kNeckJointRates)),
    method<Floats>("fk_batch", kInstance, kJointsBatchArguments, doc_body(docs::kNeckFkBatch)),
    method<Floats>("ik_batch", kInstance, kRotationsBatchArguments, doc_body(docs::kNeckIkBatch)),
    method<Floats>("jacobian_batch", kInstance, kJointsBatchArguments,
                   doc_body(docs::kNeckJacobianBatch)),
};

constexpr PyClassInfo kArmClass{
    &type_identity<ArmKinematics>, ArmKinematics::python_name, "", {}, {}, kModuleName};
constexpr PyMethodsInfo kArmMethodsInfo{&type_identity<ArmKinematics>, {}, kArmMethods};
constexpr PyClassInfo kNeckClass{
    &type_identity<NeckKinematics>, NeckKinematics::python_name, "", {}, {}, kModuleName};
constexpr PyMethodsInfo kNeckMethodsInfo{&type_identity<NeckKinematics>, {}, kNeckMethods};

RegistryEntry<PyClassInfo> g_arm_class_entry{kArmClass};
RegistryEntry<PyMethodsInfo> g_arm_methods_entry{kArmMethodsInfo};
RegistryEntry<PyClassInfo> g_neck_class_entry{kNeckClass};
RegistryEntry<PyMethodsInfo> g_neck_methods_entry{kNeckMethodsInfo};

/// Adds one entry when the shared object (or the stub tool) is loaded.
struct LoadTimeRegistration {
    template <class Record>
    LoadTimeRegistration(Registry<Record>& registry, RegistryEntry<Record>& entry) noexcept {
        registry.add(entry);
    }
};

// Dynamic initialisers of one translation unit run in the order of definition, so the
// arm's class record is added first and the neck's methods record last; a walk meets
// them in the reverse order. The registries are constant-initialised and exist already.
const LoadTimeRegistration kAddArmClass{class_registry(), g_arm_class_entry};
const LoadTimeRegistration kAddArmMethods{methods_registry(), g_arm_methods_entry};
const LoadTimeRegistration kAddNeckClass{class_registry(), g_neck_class_entry};
const LoadTimeRegistration kAddNeckMethods{methods_registry(), g_neck_methods_entry};

}  // namespace
}  // namespace torso::stubs
