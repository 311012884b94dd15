// The TarveloNeckKinematics type, made from its declared methods.
#include "module/neck_type.h"

#include "module/heap_type.h"
#include "module/method_table.h"

namespace torso::py {

PyTypeObject* NeckObject::create_type() { return class_type<NeckObject, kNeck>(type_cell); }

PyObject* NeckObject::create(PyTypeObject* type, NeckValue /*value*/) {
    return allocate_instance(type);
}

}  // namespace torso::py
