// The registries themselves, constant-initialised so that they exist before any adder runs.
#include "stubs/registry.h"

namespace torso::stubs {
namespace {

constinit Registry<PyClassInfo> g_class_registry;
constinit Registry<PyMethodsInfo> g_methods_registry;

}  // namespace

Registry<PyClassInfo>& class_registry() noexcept { return g_class_registry; }

Registry<PyMethodsInfo>& methods_registry() noexcept { return g_methods_registry; }

}  // namespace torso::stubs
