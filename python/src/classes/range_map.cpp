// The RangeMap class, the only one made by calling it: RangeMap(output, start=None, end=None),
// and to_json.
#include <atomic>
#include <cstdint>
#include <new>
#include <optional>
#include <utility>

#include "binding/class_registry.h"
#include "binding/methods.h"
#include "conversions/arguments.h"
#include "veltrix_compute/builders/datasets_and_durations.h"

namespace veltrix_compute::python {

namespace {

using model::RangeMap;

// The call as the class's docstring shows it, "RangeMap(output, start=None, end=None)"; bound
// under the name __new__, so that binding failures read "RangeMap.__new__() ...".
constexpr ParameterList kCall{"RangeMap", nullptr, {"output", "start", "end"}, 3, 1};
constexpr ParameterList kNew = [] {
  ParameterList parameters = kCall;
  parameters.function = "__new__";
  parameters.class_name = "RangeMap";
  return parameters;
}();
PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* keywords) {
  return guarded([&] {
    PyObject* bound[kMaxParameters] = {};
    bind_arguments(kNew, args, keywords, bound);
    model::StringConstant output = convert_argument("output", [&] { return string_constant_input(bound[0]); });
    std::optional<model::DoubleConstant> start = convert_optional_argument("start", bound[1], float_constant_input);
    std::optional<model::DoubleConstant> end = convert_optional_argument("end", bound[2], float_constant_input);
    return wrap_as(type, range_map_create(std::move(output), std::move(start), std::move(end)));
  });
}

PyMethodDef methods[] = {
    to_json_method<RangeMap>(),
    kEndOfMethods,
};

PyType_Slot slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(&free_wrapped<RangeMap>)},
    {Py_tp_methods, methods},
    {Py_tp_new, reinterpret_cast<void*>(&construct)},
    // The interpreter reads the constructor's signature from the docstring.
    {Py_tp_doc, const_cast<char*>(detail::kSignature<kCall, false>.data())},
    {0, nullptr},
};

}  // namespace

PyType_Spec range_map_spec = make_class_spec<RangeMap>(slots, /*callable=*/true);

}  // namespace veltrix_compute::python
