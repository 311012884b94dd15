// Calls the facade as a script of lines asks, for the comparison with the Python module.
// In:  "<method> <arm> <argument>...", the arguments as hex floats; <arm> indexes Fixture::arms.
// Out: "ok <result>..." with each double as a hex float (bools as 0 or 1, a list of joint
//      pairs as its size then its pairs), or "err <kind> <message>".
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "tests/cpp/facade_calls.h"

namespace {

using namespace torso::facade_calls;

constexpr std::string_view kind_name(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::unreachable: return "unreachable";
        case ErrorKind::loop_not_closed: return "loop_not_closed";
        case ErrorKind::gimbal_lock: return "gimbal_lock";
        case ErrorKind::singular_configuration: return "singular_configuration";
        case ErrorKind::document_refused: return "document_refused";
        case ErrorKind::document_not_writable: return "document_not_writable";
    }
    return "?";
}

void put(double x) { std::printf(" %a", x); }
void put(bool x) { std::printf(" %d", x ? 1 : 0); }
void put(const Vec3& v) {
    for (const double x : v) put(x);
}
void put(const JointPair& p) { put(p.theta_a), put(p.theta_b); }
void put(const JointTriple& j) { put(j.yaw), put(j.pitch), put(j.roll); }
template <std::size_t n>
void put(const std::array<std::array<double, n>, 3>& m) {
    for (const auto& row : m) {
        for (const double x : row) put(x);
    }
}
void put(const JointPairList& list) {
    std::printf(" %zu", list.size());
    for (const JointPair& p : list) put(p);
}

template <class T>
void answer(const T& value) {
    std::fputs("ok", stdout);
    put(value);
    std::fputc('\n', stdout);
}
template <class T>
void answer(const Result<T>& result) {
    if (result) return answer(*result);
    const auto kind = kind_name(result.error().kind);
    std::printf("err %.*s %.*s\n", static_cast<int>(kind.size()), kind.data(),
                static_cast<int>(result.error().message.size()), result.error().message.data());
}

/// The hex floats after the method and arm, in order.
struct Arguments {
    double x[9] = {};
    Vec3 vec(std::size_t i) const { return {x[i], x[i + 1], x[i + 2]}; }
    Mat3 mat() const { return {vec(0), vec(3), vec(6)}; }
    JointTriple triple(std::size_t i) const { return {x[i], x[i + 1], x[i + 2]}; }
};

void call(std::string_view method, const ArmKinematics& arm, const NeckKinematics& neck,
          const Arguments& a) {
    if (method == "fk") return answer(arm.fk(a.x[0], a.x[1]));
    if (method == "direction") return answer(arm.direction(a.x[0], a.x[1]));
    if (method == "ik") return answer(arm.ik(a.mat()));
    if (method == "ik_from_direction") return answer(arm.ik_from_direction(a.vec(0)));
    if (method == "ik_from_direction_near")
        return answer(arm.ik_from_direction(a.vec(0), JointPair{a.x[3], a.x[4]}));
    if (method == "is_reachable_joints") return answer(arm.is_reachable_joints(a.x[0], a.x[1]));
    if (method == "is_reachable_orientation") return answer(arm.is_reachable_orientation(a.mat()));
    if (method == "is_reachable_direction") return answer(arm.is_reachable_direction(a.vec(0)));
    if (method == "ik_solutions") return answer(arm.ik_solutions(a.mat()));
    if (method == "ik_from_direction_solutions")
        return answer(arm.ik_from_direction_solutions(a.vec(0)));
    if (method == "jacobian") return answer(arm.jacobian(a.x[0], a.x[1]));
    if (method == "direction_jacobian") return answer(arm.direction_jacobian(a.x[0], a.x[1]));
    if (method == "joint_rates") return answer(arm.joint_rates(a.x[0], a.x[1], a.vec(2)));
    if (method == "manipulability") return answer(arm.manipulability(a.x[0], a.x[1]));
    if (method == "neck_fk") return answer(neck.fk(a.triple(0)));
    if (method == "neck_ik") return answer(neck.ik(a.mat()));
    if (method == "neck_jacobian") return answer(neck.jacobian(a.triple(0)));
    if (method == "neck_joint_rates") return answer(neck.joint_rates(a.triple(0), a.vec(3)));
    std::fprintf(stderr, "unknown method %.*s\n", static_cast<int>(method.size()), method.data());
    std::exit(2);
}

}  // namespace

int main() {
    static char out_buffer[1 << 16];
    std::setvbuf(stdout, out_buffer, _IOFBF, sizeof out_buffer);
    const Fixture fixture;
    char line[1024];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        char* cursor = line;
        const std::size_t name_length = std::strcspn(cursor, " \n");
        const std::string_view method(cursor, name_length);
        cursor += name_length;
        const auto arm = static_cast<std::size_t>(std::strtoul(cursor, &cursor, 10));
        Arguments arguments;
        for (double& x : arguments.x) {
            char* end = nullptr;
            x = std::strtod(cursor, &end);
            if (end == cursor) break;
            cursor = end;
        }
        call(method, fixture.arms[arm % 3], fixture.neck, arguments);
    }
    return 0;
}
