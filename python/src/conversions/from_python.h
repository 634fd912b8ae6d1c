// Conversion of Python arguments into object-model values.
//
// One conversion per kind of parameter, chosen by the C++ type that the method's body takes:
//
//   body takes                    conversion
//   NumericSeries                 NumericSeriesInput: a NumericSeries object, else a number
//   DoubleConstant                FloatConstantInput: a FloatConstant object, else a number
//   StringConstant                StringConstantInput: a StringConstant object, else a str
//   ConstantNumericSeries         ConstantNumericSeriesInput: its object, else a number
//   IntegerConstant               IntegerConstantInput: its object, else an integer (narrowed to 32
//                                 bits by `resolve`, once every argument is converted and found
//                                 `resolvable`)
//   Series                        a NumericSeries object only, as the `numeric` variant
//   TimeUnit                      the str() of any object, parsed as a library time unit
//   std::string, double, int64_t  a str, or a plain number by the interpreter's own conversion
//   std::vector<T>                any sequence but a str, each item converted as T
//   any other class's value       an object of that class only, its value copied
//
// Each is `bool from_python(PyObject*, std::optional<T>&, Refusal)`: on success the value is in
// the optional, a fresh copy owned by the caller; on refusal it returns false and the Refusal has
// reported it. Nothing here throws but std::bad_alloc (exhausted memory) and the internal failure
// of a 64-bit integer given for a 32-bit one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "binding/python_api.h"
#include "binding/wrapped.h"
#include "conversions/refusal.h"
#include "veltrix_compute/builders/time_unit.h"

namespace veltrix_compute::python {

bool from_python(PyObject* object, std::optional<model::NumericSeries>& value, Refusal refusal);
bool from_python(PyObject* object, std::optional<model::DoubleConstant>& value, Refusal refusal);
bool from_python(PyObject* object, std::optional<model::StringConstant>& value, Refusal refusal);
bool from_python(PyObject* object, std::optional<model::ConstantNumericSeries>& value, Refusal refusal);
// The plain integer is kept as given until `resolve` narrows it.
using IntegerConstantInput = std::variant<model::IntegerConstant, std::int64_t>;
bool from_python(PyObject* object, std::optional<IntegerConstantInput>& value, Refusal refusal);
bool from_python(PyObject* object, std::optional<model::Series>& value, Refusal refusal);
bool from_python(PyObject* object, std::optional<TimeUnit>& value, Refusal refusal);
bool from_python(PyObject* object, std::optional<std::string>& value, Refusal refusal);
bool from_python(PyObject* object, std::optional<double>& value, Refusal refusal);
bool from_python(PyObject* object, std::optional<std::int64_t>& value, Refusal refusal);
// A plain integer for a 32-bit literal: read as 64 bits, narrowed once every argument is converted.
struct WideInteger {
  std::int64_t value;
};
bool from_python(PyObject* object, std::optional<WideInteger>& value, Refusal refusal);

// The value types that the two-alternative input types above convert; every other class's value
// is taken from an object of its class only.
template <class T>
concept TakenOnlyFromItsClass =
    HasClass<T> && !std::is_same_v<T, model::NumericSeries> && !std::is_same_v<T, model::DoubleConstant> &&
    !std::is_same_v<T, model::StringConstant> && !std::is_same_v<T, model::ConstantNumericSeries> &&
    !std::is_same_v<T, model::IntegerConstant>;

// Whether `object` is of T's class (a receiver or an argument); if not, sets the refusal.
template <class T>
bool of_class(PyObject* object, Refusal refusal) {
  return is_instance<T>(object) || refusal.not_an_instance(object, ClassOf<T>::name);
}

template <TakenOnlyFromItsClass T>
bool from_python(PyObject* object, std::optional<T>& value, Refusal refusal) {
  if (!of_class<T>(object, refusal)) return false;
  value.emplace(copy_held_value<T>(object));
  return true;
}

// The iterator of a list argument, and how many items to make room for; refuses a str and
// anything that is not a sequence.
bool iterate_list(PyObject* object, PyRef& iterator, std::size_t& size_hint, Refusal refusal);

// The first item refused refuses the whole list, reported as that item's refusal.
template <class T>
bool from_python(PyObject* object, std::optional<std::vector<T>>& value, Refusal refusal) {
  PyRef iterator;
  std::size_t size_hint = 0;
  if (!iterate_list(object, iterator, size_hint, refusal)) return false;
  std::vector<T> items;
  items.reserve(size_hint);
  std::optional<T> item;
  while (PyObject* next = PyIter_Next(iterator.get())) {
    PyRef owned = PyRef::steal(next);
    if (!from_python(next, item, refusal)) return false;
    items.push_back(std::move(*item));
    item.reset();
  }
  if (PyErr_Occurred()) return refusal.pending();
  value.emplace(std::move(items));
  return true;
}

// What a conversion holds for a parameter of type T until the body is called, and how it becomes
// a T then (only an integer constant has anything left to do).
template <class T>
struct Held {
  using type = T;
};
template <>
struct Held<model::IntegerConstant> {
  using type = IntegerConstantInput;
};
template <class T>
T resolve(T&& value) {
  return std::move(value);
}
model::IntegerConstant resolve(IntegerConstantInput&& input);
model::IntegerConstant narrow_to_integer_constant(WideInteger value);

// Whether a converted argument can be resolved. A plain integer outside the signed 32-bit range
// cannot: that is an internal failure ("integer value exceeds i32 range: ..."), set as the
// PanicException here rather than thrown, so that it costs a thread no C++ exception (a
// thread's first one makes the C library allocate its thread-local data, which cannot fail
// gracefully when memory is exhausted).
template <class T>
bool resolvable(const std::optional<T>&) {
  return true;
}
bool resolvable(const std::optional<IntegerConstantInput>& input);
bool resolvable(const std::optional<WideInteger>& input);

}  // namespace veltrix_compute::python
