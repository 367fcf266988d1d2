// The Column class: a read-only typed array exported through the buffer protocol.
#include "python/column.hpp"

#include <utility>

#include "python/convert.hpp"
#include "python/guard.hpp"
#include "python/module_state.hpp"
#include "python/wrapper.hpp"

namespace qcn::python {
namespace {

struct ColumnData {
  ColumnView view;
  std::string name;
  Ref labels;  // list of str, or None
  Py_ssize_t shape[1];
  Py_ssize_t strides[1];
};

struct ColumnObject {
  PyObject_HEAD
  ColumnData* data;
};

ColumnData& data_of(PyObject* self) { return *reinterpret_cast<ColumnObject*>(self)->data; }

// An empty column still hands out a valid pointer.
const std::uint64_t kNoItems = 0;

int get_buffer(PyObject* self, Py_buffer* view, int flags) {
  if ((flags & PyBUF_WRITABLE) == PyBUF_WRITABLE) {
    PyErr_SetString(PyExc_BufferError, "Column is read-only");
    view->obj = nullptr;
    return -1;
  }
  ColumnData& d = data_of(self);
  view->buf = const_cast<void*>(d.view.length > 0 ? d.view.items : &kNoItems);
  view->obj = Py_NewRef(self);
  view->len = d.view.length * d.view.itemsize;
  view->itemsize = d.view.itemsize;
  view->readonly = 1;
  view->ndim = 1;
  view->format = (flags & PyBUF_FORMAT) == PyBUF_FORMAT ? const_cast<char*>(d.view.format) : nullptr;
  view->shape = (flags & PyBUF_ND) == PyBUF_ND ? d.shape : nullptr;
  view->strides = (flags & PyBUF_STRIDES) == PyBUF_STRIDES ? d.strides : nullptr;
  view->suboffsets = nullptr;
  view->internal = nullptr;
  return 0;
}

void dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  PyObject_GC_UnTrack(self);
  delete reinterpret_cast<ColumnObject*>(self)->data;
  auto free_slot = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_slot(self);
  Py_DECREF(type);
}

int traverse(PyObject* self, visitproc visit, void* arg) {
  Py_VISIT(Py_TYPE(self));
  return 0;
}

Py_ssize_t length(PyObject* self) { return data_of(self).view.length; }

PyObject* repr(PyObject* self) {
  const ColumnData& d = data_of(self);
  return guarded([&] {
    return to_py_str("Column(name='" + d.name + "', dtype='" + d.view.dtype + "', length=" +
                     std::to_string(d.view.length) + ")")
        .release();
  });
}

PyObject* get_name(PyObject* self, void*) { return to_py_str(data_of(self).name).release(); }
PyObject* get_dtype(PyObject* self, void*) { return to_py_str(data_of(self).view.dtype).release(); }
PyObject* get_labels(PyObject* self, void*) { return Py_NewRef(data_of(self).labels.get()); }

PyGetSetDef getset[] = {
    {"name", get_name, nullptr, "The column's name", nullptr},
    {"dtype", get_dtype, nullptr, "The numpy dtype of its items, such as float64 or datetime64[ns]", nullptr},
    {"labels", get_labels, nullptr, "For a column of codes: the labels the codes index (a list); None otherwise",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

PyObject* create_column_type(PyObject* module) {
  PyType_Slot slots[] = {
      {Py_tp_doc, const_cast<char*>("A read-only column of an analysis or of an observation record, exported "
                                    "through the buffer protocol: numpy.asarray or memoryview read it in place")},
      {Py_tp_new, reinterpret_cast<void*>(no_constructor)},
      {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
      {Py_tp_traverse, reinterpret_cast<void*>(traverse)},
      {Py_tp_repr, reinterpret_cast<void*>(repr)},
      {Py_tp_getset, getset},
      {Py_sq_length, reinterpret_cast<void*>(length)},
      {Py_bf_getbuffer, reinterpret_cast<void*>(get_buffer)},
      {0, nullptr},
  };
  PyType_Spec column_type = {"quorlin_cn0.Column", static_cast<int>(sizeof(ColumnObject)), 0,
                             Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_HAVE_GC, slots};
  return PyType_FromModuleAndSpec(module, &column_type, nullptr);
}

Ref new_column(ModuleState* state, const char* name, ColumnView&& view) {
  auto* type = reinterpret_cast<PyTypeObject*>(state->column_type);
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  Ref labels = view.labels != nullptr ? to_py_str_list(*view.labels) : Ref::borrow(Py_None);
  if (!labels) return {};
  Ref self = Ref::steal(alloc(type, 0));
  if (!self) return {};
  const Py_ssize_t n = view.length;
  const Py_ssize_t itemsize = view.itemsize;
  view.labels = nullptr;
  reinterpret_cast<ColumnObject*>(self.get())->data =
      new ColumnData{std::move(view), name, std::move(labels), {n}, {itemsize}};
  return self;
}

Ref column_dict(ModuleState* state, std::initializer_list<std::pair<const char*, ColumnView>> columns) {
  Ref dict = Ref::steal(PyDict_New());
  if (!dict) return {};
  for (const auto& [name, view] : columns) {
    Ref column = new_column(state, name, ColumnView(view));
    if (!column || PyDict_SetItemString(dict.get(), name, column.get()) < 0) return {};
  }
  return dict;
}

}  // namespace qcn::python
