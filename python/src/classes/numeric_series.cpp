// The NumericSeries class: static factories, instance methods and to_json.
#include "binding/class_registry.h"
#include "binding/methods.h"
#include "conversions/arguments.h"
#include "veltrix_compute/builders/numeric_series.h"

namespace veltrix_compute::python {

namespace {

using model::NumericSeries;

constexpr ParameterList kReference{"Reference", "NumericSeries", {"name"}, 1, 1};
PyObject* reference(PyObject*, PyObject** bound) {
  std::string name = convert_argument("name", [&] { return text(bound[0]); });
  return wrap(NumericSeries::raw(model::Reference{std::move(name)}));
}

constexpr ParameterList kHead{"head", "NumericSeries", {"num_points"}, 1, 1};
PyObject* head(PyObject* self, PyObject** bound) {
  IntegerConstantInput num_points = convert_argument("num_points", [&] { return integer_constant_input(bound[0]); });
  NumericSeries input = copy_receiver<NumericSeries>(self);
  return wrap(numeric_series_head(std::move(input), resolve(std::move(num_points))));
}

constexpr ParameterList kToJson{"to_json", "NumericSeries", {}, 0, 0};

PyMethodDef methods[] = {
    static_method<kReference, reference>(),
    instance_method<kHead, head>(),
    instance_method_without_arguments<kToJson, to_json<NumericSeries>>(),
    kEndOfMethods,
};

PyType_Slot slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(&free_wrapped<NumericSeries>)},
    {Py_tp_methods, methods},
    {0, nullptr},
};

}  // namespace

PyType_Spec numeric_series_spec = make_class_spec<NumericSeries>("_compute.NumericSeries", slots);

}  // namespace veltrix_compute::python
