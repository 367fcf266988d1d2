// AnalysisResult.write_json: the JSON text streamed into a file or a binary stream.
#pragma once

#include "python/limited_api.hpp"

namespace qcn::python {

/// write_json(target, pretty=False, with_assessment=False): target is a path (str or os.PathLike), written without the
/// interpreter lock, or an object with write() taking bytes, called with pieces of about 1 MiB.
PyObject* write_result_json(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace qcn::python
