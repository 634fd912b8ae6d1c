// The constant classes: IntegerConstant, StringConstant and FloatConstant (which holds a
// DoubleConstant). Each has the factories Literal and Reference, and to_json; only Literal
// differs between them, in how it reads its plain Python value.
#include "binding/methods.h"

namespace veltrix_compute::python {

namespace {

// The Literal factories take plain Python values only (their bodies take a C++ number or text):
// an object of the constant's own class is refused like any other value the native rule refuses.
// A variable name is stored as given: any text, the empty one included.
template <class T, auto Literal>
auto constant_methods = MethodsOf<T>::table(MethodsOf<T>::template method<"Literal(literal)", Literal>(),
                                            MethodsOf<T>::template method<"Reference(variable)", &T::variable>());

}  // namespace

template <>
ClassDefinition class_definition<model::IntegerConstant>() {
  return {constant_methods<model::IntegerConstant, &narrow_to_integer_constant>.data()};
}
template <>
ClassDefinition class_definition<model::StringConstant>() {
  return {constant_methods<model::StringConstant, &model::StringConstant::literal>.data()};
}
template <>
ClassDefinition class_definition<model::DoubleConstant>() {
  return {constant_methods<model::DoubleConstant, &model::DoubleConstant::literal>.data()};
}

}  // namespace veltrix_compute::python
