// The shared pieces of the module's classes.
#include "python/wrapper.hpp"

#include "python/ref.hpp"

namespace qcn::python {

PyObject* no_constructor(PyTypeObject* type, PyObject*, PyObject*) {
  Ref name = Ref::steal(PyType_GetName(type));
  if (!name) return nullptr;
  PyErr_Format(PyExc_TypeError, "No constructor defined for %U", name.get());
  return nullptr;
}

}  // namespace qcn::python
