// Conversion of Python arguments into object-model values.
//
// Each conversion either returns a fresh value (a deep copy of an object's value, or a value built
// from a plain Python number or text) or throws PythonError with the refusal set. A method runs
// each parameter's conversion through `convert_argument`, which names the parameter in a
// TypeError. Operators use the same conversions but turn a refusal into NotImplemented.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "binding/arguments.h"
#include "binding/failure.h"
#include "binding/python_api.h"
#include "binding/wrapped.h"
#include "veltrix_compute/builders/time_unit.h"

namespace veltrix_compute::python {

// "argument '<name>': <message>" for a TypeError raised by `convert` (exactly TypeError, not a
// subclass); the new error takes over the old one's cause. Other exceptions pass unchanged.
[[noreturn]] void name_argument_in_failure(const char* name);

template <class Convert>
auto convert_argument(const char* name, Convert&& convert) -> decltype(convert()) {
  try {
    return convert();
  } catch (const PythonError&) {
    name_argument_in_failure(name);
  }
}

// Optional parameters: not given or None is absent, and is not converted.
template <class Convert>
auto convert_optional_argument(const char* name, PyObject* argument, Convert&& convert)
    -> std::optional<decltype(convert(argument))> {
  if (is_absent(argument)) return std::nullopt;
  return convert_argument(name, [&] { return convert(argument); });
}

// Throws PythonError for the pending exception; a PanicException that Python code let through
// becomes an internal failure instead.
[[noreturn]] void raise_pending_failure();

// Native rules.
double native_double(PyObject* object);         // PyFloat_AsDouble
std::int64_t native_integer(PyObject* object);  // the signed 64-bit conversion
std::string text(PyObject* object);             // a str (or subclass), as UTF-8

// The two-alternative input types: an object of the matching class (`Wrapped`, its value
// copied), else a plain value (`Native0`); both refused gives the "failed to extract enum" error.
model::NumericSeries numeric_series_input(PyObject* object);
model::DoubleConstant float_constant_input(PyObject* object);
model::StringConstant string_constant_input(PyObject* object);
model::ConstantNumericSeries constant_numeric_series_input(PyObject* object);

// An integer constant is narrowed to 32 bits only when the node is assembled, after every
// argument has been extracted and the receiver copied.
struct IntegerConstantInput {
  std::optional<model::IntegerConstant> wrapped;
  std::int64_t native = 0;
};
IntegerConstantInput integer_constant_input(PyObject* object);
// Throws InternalFailure ("integer value exceeds i32 range: ...") for a plain integer outside
// the signed 32-bit range.
model::IntegerConstant resolve(IntegerConstantInput input);
model::IntegerConstant narrow_to_integer_constant(std::int64_t value);

// Only a NumericSeries object, as the `numeric` variant of a Series.
model::Series wrapped_series(PyObject* object);

// The str() of any object, parsed as a library time unit; ValueError when it names none.
TimeUnit wrapped_time_unit(PyObject* object);

// Class extraction: an object of T's class, its value copied.
template <class T>
T object_of_class(PyObject* object) {
  return copy_value_of<T>(object);
}

// Lists: any sequence but a str, each item converted in iteration order; the first refused item
// refuses the whole list.
PyRef iterate(PyObject* object, std::size_t& size_hint);

template <class Convert>
auto list_of(PyObject* object, Convert&& convert_item) -> std::vector<decltype(convert_item(object))> {
  std::size_t size_hint = 0;
  PyRef iterator = iterate(object, size_hint);
  std::vector<decltype(convert_item(object))> items;
  items.reserve(size_hint);
  while (PyObject* item = PyIter_Next(iterator.get())) {
    PyRef owned = PyRef::steal(item);
    items.push_back(convert_item(item));
  }
  if (PyErr_Occurred()) raise_pending_failure();
  return items;
}

}  // namespace veltrix_compute::python
