#include "conversions/from_python.h"

#include <algorithm>
#include <string_view>

#include "veltrix_compute/builders/aggregation.h"

namespace veltrix_compute::python {

namespace {

// The native rules: the `Native0` alternative of the input types, and the plain parameters. Each
// returns false with the interpreter's exception pending. `may_accept` tells, from the type alone
// and without running any code, whether the rule could take an object of that type at all.

// PyFloat_AsDouble: a float, or any object whose type converts to float or has an index.
struct DoubleRule {
  using Native = double;
  static bool may_accept(PyTypeObject* type) {
    return PyType_GetSlot(type, Py_nb_float) != nullptr || PyType_GetSlot(type, Py_nb_index) != nullptr;
  }
  static bool convert(PyObject* object, double& value) {
    value = PyFloat_AsDouble(object);
    return !(value == -1.0 && PyErr_Occurred());
  }
};

// The signed 64-bit conversion: an int, or any object with an index. Where a C long has 64 bits
// that is PyLong_AsLong, so that an int out of range raises the OverflowError that other
// conversions to a C long raise ("Python int too large to convert to C long"), which names the
// limit, and not PyLong_AsLongLong's "int too big to convert"; where a long has 32 bits
// (Windows, 32-bit systems) it is PyLong_AsLongLong.
struct IntegerRule {
  using Native = std::int64_t;
  static bool may_accept(PyTypeObject* type) { return PyType_GetSlot(type, Py_nb_index) != nullptr; }
  static bool convert(PyObject* object, std::int64_t& value) {
    if constexpr (sizeof(long) >= sizeof(std::int64_t)) {
      value = PyLong_AsLong(object);
    } else {
      value = PyLong_AsLongLong(object);
    }
    return !(value == -1 && PyErr_Occurred());
  }
};

// A str (or an instance of a subclass), as UTF-8; a lone surrogate fails with the interpreter's
// UnicodeEncodeError.
struct TextRule {
  using Native = std::string;
  static bool may_accept(PyTypeObject* type) { return (PyType_GetFlags(type) & Py_TPFLAGS_UNICODE_SUBCLASS) != 0; }
  static bool convert(PyObject* object, std::string& value) {
    if (!PyUnicode_Check(object)) {
      set_error(PyExc_TypeError, not_an_instance_message(object, "str"));
      return false;
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(object, &size);
    if (utf8 == nullptr) return false;
    value.assign(utf8, static_cast<std::size_t>(size));
    return true;
  }
};

// `Wrapped` first: an object of Value's class is always taken as itself. Only when it is not,
// `Native0` by the rule; both refused is the "failed to extract enum" TypeError. An operand whose
// type the rule cannot take is refused at once, without asking the interpreter to raise anything.
template <class Value, class Rule, class Result, class FromNative>
bool two_alternatives(PyObject* object, std::optional<Result>& value, const char* input_type, FromNative from_native,
                      Refusal refusal) {
  if (is_instance<Value>(object)) {
    value.emplace(copy_held_value<Value>(object));
    return true;
  }
  if (refusal.quiet() && !Rule::may_accept(Py_TYPE(object))) return false;
  typename Rule::Native plain{};
  if (!Rule::convert(object, plain)) return refusal.both_alternatives(input_type, ClassOf<Value>::name, object);
  value.emplace(from_native(std::move(plain)));
  return true;
}

// A plain parameter: the rule alone, its failure passed on.
template <class Rule>
bool native(PyObject* object, std::optional<typename Rule::Native>& value, Refusal refusal) {
  typename Rule::Native plain{};
  if (!Rule::convert(object, plain)) return refusal.pending();
  value.emplace(std::move(plain));
  return true;
}

model::DoubleConstant double_literal(double value) { return model::DoubleConstant::literal(value); }
model::ConstantNumericSeries constant_series(double value) {
  return model::ConstantNumericSeries::double_(double_literal(value));
}

// "<unprintable {name} object>" with the __name__ of the object's type as given, or
// "<unprintable object>" when that name cannot be read (its failure is dropped).
PyRef unprintable_text(PyObject* object) {
  PyRef name = PyRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(object)), "__name__"));
  PyRef text = name ? PyRef::steal(PyObject_Str(name.get())) : PyRef();
  if (!text) {
    PyErr_Clear();
    return PyRef::steal(PyUnicode_FromString("<unprintable object>"));
  }
  return PyRef::steal(PyUnicode_FromFormat("<unprintable %U object>", text.get()));
}

// The ValueError for a time-unit text that names no unit. Both the text and the parse error are
// given back as they were: a lone surrogate, encoded with "surrogatepass", is decoded again.
[[gnu::cold]] bool refuse_time_unit(std::string_view text, std::string_view error) {
  std::string message = "Failed to convert '";
  message.append(text);
  message += "' to TimeUnit enum: ";
  message.append(error);
  PyRef decoded = PyRef::steal(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "surrogatepass"));
  if (decoded) PyErr_SetObject(PyExc_ValueError, decoded.get());
  return false;
}

}  // namespace

bool from_python(PyObject* object, std::optional<model::NumericSeries>& value, Refusal refusal) {
  return two_alternatives<model::NumericSeries, DoubleRule>(
      object, value, "NumericSeriesInput",
      [](double plain) { return model::NumericSeries::constant(constant_series(plain)); }, refusal);
}

bool from_python(PyObject* object, std::optional<model::DoubleConstant>& value, Refusal refusal) {
  return two_alternatives<model::DoubleConstant, DoubleRule>(object, value, "FloatConstantInput", double_literal,
                                                             refusal);
}

bool from_python(PyObject* object, std::optional<model::StringConstant>& value, Refusal refusal) {
  return two_alternatives<model::StringConstant, TextRule>(
      object, value, "StringConstantInput",
      [](std::string plain) { return model::StringConstant::literal(std::move(plain)); }, refusal);
}

bool from_python(PyObject* object, std::optional<model::ConstantNumericSeries>& value, Refusal refusal) {
  return two_alternatives<model::ConstantNumericSeries, DoubleRule>(object, value, "ConstantNumericSeriesInput",
                                                                    constant_series, refusal);
}

bool from_python(PyObject* object, std::optional<IntegerConstantInput>& value, Refusal refusal) {
  return two_alternatives<model::IntegerConstant, IntegerRule>(
      object, value, "IntegerConstantInput", [](std::int64_t plain) { return IntegerConstantInput(plain); },
      refusal);
}

bool from_python(PyObject* object, std::optional<model::Series>& value, Refusal refusal) {
  if (!is_instance<model::NumericSeries>(object)) return refusal.because("Expected one of: numeric (Class(NumericSeries))");
  value.emplace(series_from(copy_held_value<model::NumericSeries>(object)));
  return true;
}

bool from_python(PyObject* object, std::optional<TimeUnit>& value, Refusal) {
  PyRef printed = PyRef::steal(PyObject_Str(object));
  if (!printed) {
    if (reraise_panic_from_python()) return false;
    PyErr_WriteUnraisable(object);
    printed = unprintable_text(object);
    if (!printed) return false;
  }
  // "surrogatepass" keeps a lone surrogate in the text, which then names no unit.
  PyRef utf8 = PyRef::steal(PyUnicode_AsEncodedString(printed.get(), "utf-8", "surrogatepass"));
  if (!utf8) return false;
  std::string text(PyBytes_AsString(utf8.get()), static_cast<std::size_t>(PyBytes_Size(utf8.get())));
  TimeUnitParse parsed = time_unit_try_from(text);
  if (!parsed.value) return refuse_time_unit(text, parsed.error);
  value.emplace(*parsed.value);
  return true;
}

bool from_python(PyObject* object, std::optional<std::string>& value, Refusal refusal) {
  if (!PyUnicode_Check(object)) return refusal.not_an_instance(object, "str");
  return native<TextRule>(object, value, refusal);
}

bool from_python(PyObject* object, std::optional<double>& value, Refusal refusal) {
  return native<DoubleRule>(object, value, refusal);
}

bool from_python(PyObject* object, std::optional<std::int64_t>& value, Refusal refusal) {
  return native<IntegerRule>(object, value, refusal);
}

bool iterate_list(PyObject* object, PyRef& iterator, std::size_t& size_hint, Refusal refusal) {
  if (PyUnicode_Check(object)) return refusal.because("Can't extract `str` to `Vec`");
  if (!PySequence_Check(object)) return refusal.not_an_instance(object, "Sequence");
  // len() only sizes the result in advance; its failure is ignored (but for a PanicException let
  // through, which is passed on like on every other road), and a huge or lying length must not
  // make us reserve memory we will not use.
  const Py_ssize_t length = PySequence_Size(object);
  if (length < 0) {
    if (reraise_panic_from_python()) return false;
    PyErr_Clear();
  }
  size_hint = static_cast<std::size_t>(std::clamp<Py_ssize_t>(length, 0, 4096));
  iterator = PyRef::steal(PyObject_GetIter(object));
  return iterator || refusal.pending();
}

bool from_python(PyObject* object, std::optional<WideInteger>& value, Refusal refusal) {
  std::optional<std::int64_t> wide;
  if (!from_python(object, wide, refusal)) return false;
  value = WideInteger{*wide};
  return true;
}

namespace {

bool fits_in_32_bits(std::int64_t value) {
  if (value >= INT32_MIN && value <= INT32_MAX) return true;
  set_internal_failure("integer value exceeds i32 range: TryFromIntError(())");
  return false;
}

}  // namespace

bool resolvable(const std::optional<IntegerConstantInput>& input) {
  const auto* plain = input ? std::get_if<std::int64_t>(&*input) : nullptr;
  return plain == nullptr || fits_in_32_bits(*plain);
}
bool resolvable(const std::optional<WideInteger>& input) { return !input || fits_in_32_bits(input->value); }

model::IntegerConstant narrow_to_integer_constant(WideInteger value) {
  return model::IntegerConstant::literal(static_cast<std::int32_t>(value.value));  // found resolvable
}

model::IntegerConstant resolve(IntegerConstantInput&& input) {
  if (auto* held = std::get_if<model::IntegerConstant>(&input)) return std::move(*held);
  return narrow_to_integer_constant(WideInteger{std::get<std::int64_t>(input)});
}

}  // namespace veltrix_compute::python
