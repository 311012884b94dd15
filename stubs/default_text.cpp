// Python's repr of the floats and bools that defaults show.
#include "stubs/default_text.h"

#include "core/float_text.h"

namespace torso::stubs {

std::string python_repr(double value) { return std::string(python_float_repr(value).view()); }

std::string python_repr(bool value) { return value ? "True" : "False"; }

std::string python_repr(int value) { return std::to_string(value); }

}  // namespace torso::stubs
