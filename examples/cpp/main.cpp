// The arm and neck from C++: each number is printed as Python's repr prints the same double.
#include <tarvelo/torso_kinematics.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <string>

namespace {

/// The shortest text that reads back to `x`, laid out as Python's repr: positional from 1e-4
/// up to 1e16, with ".0" on a whole number; otherwise in exponent form.
std::string repr(double x) {
    char text[64];
    char* end = std::to_chars(text, text + sizeof text, x, std::chars_format::scientific).ptr;
    const int exponent = std::stoi(std::string(std::find(text, end, 'e') + 1, end));
    if (exponent < -4 || exponent >= 16) return {text, end};
    end = std::to_chars(text, text + sizeof text, x, std::chars_format::fixed).ptr;
    std::string out(text, end);
    if (out.find('.') == std::string::npos) out += ".0";
    return out;
}

template <class Numbers>
void print_row(const Numbers& numbers) {
    const char* separator = "";
    for (const double x : numbers) {
        std::printf("%s%s", separator, repr(x).c_str());
        separator = " ";
    }
    std::printf("\n");
}

void print_matrix(const tarvelo::Mat3& m) {
    print_row(std::array{m[0][0], m[0][1], m[0][2], m[1][0], m[1][1], m[1][2], m[2][0], m[2][1],
                         m[2][2]});
}

}  // namespace

int main() {
    const auto arm = tarvelo::ArmKinematics::default_left();
    const tarvelo::NeckKinematics neck;

    const auto rotation = arm.fk(0.5, 0.5);
    if (!rotation) return 1;
    print_matrix(*rotation);

    const auto joints = arm.ik(*rotation);
    if (!joints) return 1;
    print_row(std::array{joints->theta_a, joints->theta_b});

    const auto pointing = arm.ik_from_direction({0.9, 0.1, 0.4}, tarvelo::JointPair{0.5, 0.5});
    if (!pointing) return 1;
    print_row(std::array{pointing->theta_a, pointing->theta_b});

    print_matrix(neck.fk({0.3, 0.2, 0.1}));

    const tarvelo::Mat3 identity{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    const auto refused = arm.ik(identity);
    if (refused) return 1;
    std::printf("%.*s\n", static_cast<int>(refused.error().message.size()),
                refused.error().message.data());
    return 0;
}
