// The constant classes: IntegerConstant, StringConstant and FloatConstant (which holds a
// DoubleConstant). Each has the factories Literal and Reference, and to_json.
#include "binding/class_registry.h"
#include "binding/methods.h"
#include "conversions/arguments.h"

namespace veltrix_compute::python {

namespace {

constexpr ParameterList kIntegerLiteral{"Literal", "IntegerConstant", {"literal"}, 1, 1};
PyObject* integer_literal(PyObject*, PyObject** bound) {
  std::int64_t literal = convert_argument("literal", [&] { return native_integer(bound[0]); });
  return wrap(narrow_to_integer_constant(literal));
}

constexpr ParameterList kIntegerReference{"Reference", "IntegerConstant", {"variable"}, 1, 1};
PyObject* integer_reference(PyObject*, PyObject** bound) {
  std::string variable = convert_argument("variable", [&] { return text(bound[0]); });
  return wrap(model::IntegerConstant::variable(std::move(variable)));
}

constexpr ParameterList kIntegerToJson{"to_json", "IntegerConstant", {}, 0, 0};

PyMethodDef integer_methods[] = {
    static_method<kIntegerLiteral, integer_literal>(),
    static_method<kIntegerReference, integer_reference>(),
    instance_method_without_arguments<kIntegerToJson, to_json<model::IntegerConstant>>(),
    kEndOfMethods,
};

PyType_Slot integer_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(&free_wrapped<model::IntegerConstant>)},
    {Py_tp_methods, integer_methods},
    {0, nullptr},
};

}  // namespace

PyType_Spec integer_constant_spec = make_class_spec<model::IntegerConstant>("_compute.IntegerConstant", integer_slots);

}  // namespace veltrix_compute::python
