#include "conversions/arguments.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

namespace veltrix_compute::python {

namespace {

// A PanicException let through by Python code that a conversion called (a __str__ or
// __float__) is not a refused argument: it is reported and raised again as an internal failure
// with the same message.
void pass_on_user_panic() {
  PyObject* panic = created_panic_exception_type();
  if (panic == nullptr || !PyErr_ExceptionMatches(panic)) return;
  FetchedException failure = fetch_exception();
  std::string message = str_of(failure.value.get(), "Unwrapped panic from Python code");
  std::fputs("veltrix_compute: a PanicException raised by Python code is raised again.\n"
             "Python stack trace below:\n",
             stderr);
  PyErr_Restore(failure.type.release(), failure.value.release(), failure.traceback.release());
  PyErr_PrintEx(0);
  throw InternalFailure(std::move(message));
}

// "TypeError: message, caused by OverflowError: ..." for an exception and its chain of causes.
std::string describe_with_causes(PyObject* exception) {
  std::string text;
  PyRef current = PyRef::borrow(exception);
  for (int link = 0; current && link < 64; ++link) {
    if (link > 0) text += ", caused by ";
    text += qualified_name(reinterpret_cast<PyObject*>(Py_TYPE(current.get())));
    text += ": ";
    text += str_of(current.get(), "<exception str() failed>");
    current = PyRef::steal(PyException_GetCause(current.get()));
  }
  return text;
}

// Raises the refusal of a two-alternative input type whose `Wrapped` alternative refused
// `object` for not being of class `class_name` and whose `Native0` alternative raised the
// pending exception.
[[noreturn]] void raise_both_alternatives_refused(const char* type_name, std::string_view class_name,
                                                  PyObject* object) {
  pass_on_user_panic();
  FetchedException native = fetch_exception();
  std::string message = std::string("failed to extract enum ") + type_name + " ('Wrapped | Native0')";
  message += "\n- variant Wrapped (Wrapped): TypeError: failed to extract field ";
  message += type_name;
  message += "::Wrapped.0, caused by TypeError: " + not_an_instance_message(object, class_name);
  message += "\n- variant Native0 (Native0): TypeError: failed to extract field ";
  message += type_name;
  message += "::Native0.0, caused by " + describe_with_causes(native.value.get());
  raise(PyExc_TypeError, message);
}

// Wrapped first; Native0 only when the object is not of the class. The result is what `resolve`
// makes of the plain value; a copied object's value converts to the same type.
template <class Value, class Native, class Resolve>
auto two_alternatives(PyObject* object, const char* type_name, Native native, Resolve resolve)
    -> decltype(resolve(native(object))) {
  using Result = decltype(resolve(native(object)));
  if (is_instance<Value>(object)) return Result{copy_held_value<Value>(object)};
  auto plain = native(object);
  if (PyErr_Occurred()) raise_both_alternatives_refused(type_name, ClassOf<Value>::name, object);
  return resolve(std::move(plain));
}

// Native rules that report failure only through the error indicator, for two_alternatives.
double double_or_error(PyObject* object) { return PyFloat_AsDouble(object); }
std::int64_t integer_or_error(PyObject* object) { return PyLong_AsLong(object); }
std::string text_or_error(PyObject* object) {
  if (!PyUnicode_Check(object)) {
    set_not_an_instance(object, "str");
    return {};
  }
  return utf8_copy(object).value_or(std::string());
}

model::DoubleConstant double_literal(double value) { return model::DoubleConstant::literal(value); }

}  // namespace

void raise_pending_failure() {
  pass_on_user_panic();
  throw PythonError{};
}

void name_argument_in_failure(const char* name) {
  pass_on_user_panic();
  if (!PyErr_Occurred() || PyErr_Occurred() != PyExc_TypeError) throw PythonError{};
  FetchedException failure = fetch_exception();
  std::string message = std::string("argument '") + name + "': " + str_of(failure.value.get(), "");
  PyRef renamed = PyRef::steal(check(PyObject_CallFunction(PyExc_TypeError, "s#", message.data(),
                                                           static_cast<Py_ssize_t>(message.size()))));
  if (PyObject* cause = PyException_GetCause(failure.value.get())) PyException_SetCause(renamed.get(), cause);
  PyErr_SetObject(PyExc_TypeError, renamed.get());
  throw PythonError{};
}

double native_double(PyObject* object) {
  const double value = PyFloat_AsDouble(object);
  if (value == -1.0 && PyErr_Occurred()) raise_pending_failure();
  return value;
}

std::int64_t native_integer(PyObject* object) {
  const long value = PyLong_AsLong(object);
  if (value == -1 && PyErr_Occurred()) raise_pending_failure();
  return value;
}

std::string text(PyObject* object) {
  if (!PyUnicode_Check(object)) raise_not_an_instance(object, "str");
  return std::string(utf8_of(object));
}

model::NumericSeries numeric_series_input(PyObject* object) {
  return two_alternatives<model::NumericSeries>(object, "NumericSeriesInput", double_or_error, [](double value) {
    return model::NumericSeries::constant(model::ConstantNumericSeries::double_(double_literal(value)));
  });
}

model::DoubleConstant float_constant_input(PyObject* object) {
  return two_alternatives<model::DoubleConstant>(object, "FloatConstantInput", double_or_error, double_literal);
}

model::StringConstant string_constant_input(PyObject* object) {
  return two_alternatives<model::StringConstant>(object, "StringConstantInput", text_or_error,
                                                 [](std::string value) { return model::StringConstant::literal(std::move(value)); });
}

model::ConstantNumericSeries constant_numeric_series_input(PyObject* object) {
  return two_alternatives<model::ConstantNumericSeries>(
      object, "ConstantNumericSeriesInput", double_or_error,
      [](double value) { return model::ConstantNumericSeries::double_(double_literal(value)); });
}

IntegerConstantInput integer_constant_input(PyObject* object) {
  // The plain integer is kept as it is: it is narrowed when the node is assembled.
  return two_alternatives<model::IntegerConstant>(object, "IntegerConstantInput", integer_or_error,
                                                  [](std::int64_t value) { return IntegerConstantInput{std::nullopt, value}; });
}

model::IntegerConstant narrow_to_integer_constant(std::int64_t value) {
  if (value < INT32_MIN || value > INT32_MAX) throw InternalFailure("integer value exceeds i32 range: TryFromIntError(())");
  return model::IntegerConstant::literal(static_cast<std::int32_t>(value));
}

model::IntegerConstant resolve(IntegerConstantInput input) {
  if (input.wrapped) return std::move(*input.wrapped);
  return narrow_to_integer_constant(input.native);
}

model::Series wrapped_series(PyObject* object) {
  if (!is_instance<model::NumericSeries>(object)) {
    raise(PyExc_TypeError, "Expected one of: numeric (Class(NumericSeries))");
  }
  return model::Series::numeric(copy_held_value<model::NumericSeries>(object));
}

TimeUnit wrapped_time_unit(PyObject* object) {
  std::string formatted;
  PyRef printed = PyRef::steal(PyObject_Str(object));
  if (printed) {
    formatted = std::string(utf8_of(printed.get()));
  } else {
    pass_on_user_panic();
    PyErr_WriteUnraisable(object);
    PyRef type_name = PyRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(object)), "__name__"));
    std::string name = type_name ? str_of(type_name.get(), "") : std::string();
    PyErr_Clear();
    formatted = name.empty() ? "<unprintable object>" : "<unprintable " + name + " object>";
  }
  TimeUnitParse parsed = time_unit_try_from(formatted);
  if (!parsed.value) {
    raise(PyExc_ValueError, "Failed to convert '" + formatted + "' to TimeUnit enum: " + parsed.error);
  }
  return *parsed.value;
}

PyRef iterate(PyObject* object, std::size_t& size_hint) {
  if (PyUnicode_Check(object)) raise(PyExc_TypeError, "Can't extract `str` to `Vec`");
  if (!PySequence_Check(object)) raise_not_an_instance(object, "Sequence");
  // len() only sizes the result in advance; its failure is ignored, and a huge or lying length
  // must not make us reserve memory we will not use.
  const Py_ssize_t length = PySequence_Size(object);
  if (length < 0) PyErr_Clear();
  size_hint = static_cast<std::size_t>(std::clamp<Py_ssize_t>(length, 0, 4096));
  return PyRef::steal(check(PyObject_GetIter(object)));
}

}  // namespace veltrix_compute::python
