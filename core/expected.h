// A helper on std::expected that this standard library does not have yet.
#pragma once

#include <expected>

namespace torso {

/// `f` applied to the value, the failure kept (std::expected::transform, which g++ 12's
/// standard library lacks).
template <class T, class E, class F>
auto map_value(const std::expected<T, E>& result, F f) -> std::expected<decltype(f(*result)), E> {
    if (!result) {
        return std::unexpected(result.error());
    }
    return f(*result);
}

}  // namespace torso
