// The Duration class: the factories Reference and one per time unit, to_json, and the operators
// unary -, binary + and -.
#include <array>
#include <optional>
#include <utility>

#include "binding/methods.h"
#include "classes/reference_factory.h"
#include "veltrix_compute/builders/datasets_and_durations.h"

namespace veltrix_compute::python {

namespace {

using model::Duration;

// The unit factories differ only in their record and its variant.
template <class Record, Duration (*Make)(Record)>
Duration unit_count(model::IntegerConstant count) {
  return Make(Record{std::move(count)});
}

using Rows = MethodsOf<Duration>;
auto methods = Rows::table(
    Rows::method<"Reference(name)", &reference<Duration, &Duration::reference>>(),
    Rows::method<"Nanoseconds(nanoseconds)", &unit_count<model::DurationNanoseconds, &Duration::nanoseconds>>(),
    Rows::method<"Milliseconds(milliseconds)", &unit_count<model::DurationMilliseconds, &Duration::milliseconds>>(),
    Rows::method<"Seconds(seconds)", &unit_count<model::DurationSeconds, &Duration::seconds>>(),
    Rows::method<"Minutes(minutes)", &unit_count<model::DurationMinutes, &Duration::minutes>>(),
    Rows::method<"Hours(hours)", &unit_count<model::DurationHours, &Duration::hours>>(),
    Rows::method<"Days(days)", &unit_count<model::DurationDays, &Duration::days>>());

PyObject* negative(PyObject* self) {
  return guarded([&] { return wrap(Duration::negate(model::DurationNegate{copy_held_value<Duration>(self)})); });
}

// No reflected form: the left operand must be the Duration, and the right one another Duration;
// anything else is left to the interpreter through NotImplemented.
template <Duration (*Combine)(Duration, Duration)>
PyObject* binary(PyObject* left, PyObject* right) {
  return guarded([&] {
    std::optional<Duration> other;
    if (!is_instance<Duration>(left) || !from_python(right, other, Refusal::of_operand())) return not_implemented();
    return wrap(Combine(copy_held_value<Duration>(left), std::move(*other)));
  });
}

const std::array<PyType_Slot, 3> kNumberSlots{{
    {Py_nb_negative, reinterpret_cast<void*>(&negative)},
    {Py_nb_add, reinterpret_cast<void*>(&binary<&duration_add>)},
    {Py_nb_subtract, reinterpret_cast<void*>(&binary<&duration_subtract>)},
}};

}  // namespace

template <>
ClassDefinition class_definition<Duration>() {
  return {methods.data(), kNumberSlots};
}

}  // namespace veltrix_compute::python
