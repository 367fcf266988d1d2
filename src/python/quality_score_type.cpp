// The QualityScore class: the five-component rating of one analysis result.
#include <string>

#include "cn0/quality.hpp"
#include "python/convert.hpp"
#include "python/module_state.hpp"
#include "python/wrapper.hpp"
#include "rinex/text.hpp"

namespace qcn::python {
namespace {

using Record = cn0::QualityRating;

template <double Record::*Field>
PyObject* get_real(PyObject* self, void*) {
  return with_record<Record>(self, [](const Record& r) { return to_py_float(r.*Field).release(); });
}

PyObject* get_rating(PyObject* self, void*) {
  return with_record<Record>(self, [](const Record& r) { return to_py_str(r.rating).release(); });
}

PyObject* get_suitable(PyObject* self, void*) {
  return with_record<Record>(self, [](const Record& r) { return to_py_bool(r.post_processing_suitable).release(); });
}

PyGetSetDef getset[] = {
    {"overall", get_real<&Record::overall>, nullptr, nullptr, nullptr},
    {"rating", get_rating, nullptr, nullptr, nullptr},
    {"cn0_quality", get_real<&Record::cn0_quality>, nullptr, nullptr, nullptr},
    {"availability", get_real<&Record::availability>, nullptr, nullptr, nullptr},
    {"continuity", get_real<&Record::continuity>, nullptr, nullptr, nullptr},
    {"stability", get_real<&Record::stability>, nullptr, nullptr, nullptr},
    {"diversity", get_real<&Record::diversity>, nullptr, nullptr, nullptr},
    {"post_processing_suitable", get_suitable, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyObject* repr(PyObject* self) {
  return with_record<Record>(self, [](const Record& r) {
    std::string text = "QualityScore(overall=" + rinex::fixed_text(r.overall, 0) + ", rating='" + r.rating + "')";
    return to_py_str(text).release();
  });
}

const ClassDefinition kClass = {
    "quorlin_cn0.QualityScore",
    "Python wrapper for QualityScore with notebook-compatible attributes",
    nullptr,
    repr,
    getset,
    nullptr,
};

}  // namespace

PyObject* create_quality_score_type(PyObject* module) { return create_record_type<Record>(module, kClass); }

PyObject* new_quality_score(ModuleState* state, cn0::QualityRating&& rating) {
  return wrap_record(reinterpret_cast<PyTypeObject*>(state->quality_score_type), std::move(rating));
}

}  // namespace qcn::python
