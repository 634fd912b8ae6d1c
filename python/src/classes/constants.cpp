// The constant classes: IntegerConstant, StringConstant and FloatConstant (which holds a
// DoubleConstant). Each has the factories Literal and Reference, and to_json; only Literal
// differs between them, in how it reads its plain Python value.
#include "binding/class_registry.h"
#include "binding/methods.h"
#include "conversions/arguments.h"

namespace veltrix_compute::python {

namespace {

template <class T>
struct ConstantParameters {
  static constexpr ParameterList literal{"Literal", ClassOf<T>::name.data(), {"literal"}, 1, 1};
  static constexpr ParameterList reference{"Reference", ClassOf<T>::name.data(), {"variable"}, 1, 1};
};

// A variable name is stored as given: any text, the empty one included.
template <class T>
PyObject* reference(PyObject*, PyObject** bound) {
  std::string variable = convert_argument("variable", [&] { return text(bound[0]); });
  return wrap(T::variable(std::move(variable)));
}

// The Literal factories take plain Python values only: an object of the constant's own class is
// refused like any other value the native rule refuses.
PyObject* integer_literal(PyObject*, PyObject** bound) {
  std::int64_t literal = convert_argument("literal", [&] { return native_integer(bound[0]); });
  return wrap(narrow_to_integer_constant(literal));
}

PyObject* string_literal(PyObject*, PyObject** bound) {
  std::string literal = convert_argument("literal", [&] { return text(bound[0]); });
  return wrap(model::StringConstant::literal(std::move(literal)));
}

PyObject* float_literal(PyObject*, PyObject** bound) {
  double literal = convert_argument("literal", [&] { return native_double(bound[0]); });
  return wrap(model::DoubleConstant::literal(literal));
}

template <class T, MethodBody Literal>
struct ConstantClass {
  using Parameters = ConstantParameters<T>;
  static inline PyMethodDef methods[] = {
      static_method<Parameters::literal, Literal>(),
      static_method<Parameters::reference, reference<T>>(),
      to_json_method<T>(),
      kEndOfMethods,
  };
};

}  // namespace

PyType_Spec integer_constant_spec = make_class_spec<model::IntegerConstant>(methods_only_slots<model::IntegerConstant, ConstantClass<model::IntegerConstant, integer_literal>::methods>);
PyType_Spec string_constant_spec = make_class_spec<model::StringConstant>(methods_only_slots<model::StringConstant, ConstantClass<model::StringConstant, string_literal>::methods>);
PyType_Spec float_constant_spec = make_class_spec<model::DoubleConstant>(methods_only_slots<model::DoubleConstant, ConstantClass<model::DoubleConstant, float_literal>::methods>);

}  // namespace veltrix_compute::python
