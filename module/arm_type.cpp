// The TarveloArmKinematics type, made from its declared methods.
#include "module/arm_type.h"

#include "module/arm_methods.h"
#include "module/convert.h"
#include "module/heap_type.h"
#include "module/method_table.h"

namespace torso::py {

PyTypeObject* ArmObject::create_type() { return class_type<ArmObject, kArm>(type_cell); }

PyObject* ArmObject::create(PyTypeObject* type, const arm::SphericalLinkGeometry& geometry) {
    PyObject* self = allocate_instance(type);
    if (self != nullptr) {
        reinterpret_cast<ArmObject*>(self)->linkage = arm::prepare_linkage(geometry);
    }
    return self;
}

PyObject* to_python(const arm::SphericalLinkGeometry& value) {
    PyTypeObject* type = ArmObject::type();
    return type != nullptr ? ArmObject::create(type, value) : nullptr;
}

}  // namespace torso::py
