// The Duration class: the factories Reference and one per time unit, to_json, and the operators
// unary -, binary + and -.
#include <optional>

#include "binding/class_registry.h"
#include "binding/methods.h"
#include "classes/reference_factory.h"
#include "conversions/arguments.h"
#include "conversions/operands.h"
#include "veltrix_compute/builders/datasets_and_durations.h"

namespace veltrix_compute::python {

namespace {

using model::Duration;


// The unit factories differ only in their record, its variant and the parameter's name (the
// unit itself).
template <const ParameterList& P, class Record, Duration (*Make)(Record)>
PyObject* unit_count(PyObject*, PyObject** bound) {
  IntegerConstantInput count = convert_argument(P.names[0], [&] { return integer_constant_input(bound[0]); });
  return wrap(Make(Record{resolve(std::move(count))}));
}

constexpr ParameterList kNanoseconds{"Nanoseconds", "Duration", {"nanoseconds"}, 1, 1};
constexpr ParameterList kMilliseconds{"Milliseconds", "Duration", {"milliseconds"}, 1, 1};
constexpr ParameterList kSeconds{"Seconds", "Duration", {"seconds"}, 1, 1};
constexpr ParameterList kMinutes{"Minutes", "Duration", {"minutes"}, 1, 1};
constexpr ParameterList kHours{"Hours", "Duration", {"hours"}, 1, 1};
constexpr ParameterList kDays{"Days", "Duration", {"days"}, 1, 1};

PyObject* negative(PyObject* self) {
  return guarded([&] { return wrap(Duration::negate(model::DurationNegate{copy_receiver<Duration>(self)})); });
}

// No reflected form: the left operand must be the Duration, and the right one another Duration;
// anything else is left to the interpreter through NotImplemented.
template <Duration (*Combine)(Duration, Duration)>
PyObject* binary(PyObject* left, PyObject* right) {
  return guarded([&] {
    if (!is_instance<Duration>(left)) return not_implemented();
    SharedBorrow<Duration> held(left);
    std::optional<Duration> other = try_operand([&] { return object_of_class<Duration>(right); });
    if (!other) return not_implemented();
    return wrap(Combine(copy_held_value<Duration>(left), std::move(*other)));
  });
}

PyMethodDef methods[] = {
    reference_factory<Duration, &Duration::reference>(),
    static_method<kNanoseconds, unit_count<kNanoseconds, model::DurationNanoseconds, &Duration::nanoseconds>>(),
    static_method<kMilliseconds, unit_count<kMilliseconds, model::DurationMilliseconds, &Duration::milliseconds>>(),
    static_method<kSeconds, unit_count<kSeconds, model::DurationSeconds, &Duration::seconds>>(),
    static_method<kMinutes, unit_count<kMinutes, model::DurationMinutes, &Duration::minutes>>(),
    static_method<kHours, unit_count<kHours, model::DurationHours, &Duration::hours>>(),
    static_method<kDays, unit_count<kDays, model::DurationDays, &Duration::days>>(),
    to_json_method<Duration>(),
    kEndOfMethods,
};

PyType_Slot slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(&free_wrapped<Duration>)},
    {Py_tp_methods, methods},
    {Py_nb_negative, reinterpret_cast<void*>(&negative)},
    {Py_nb_add, reinterpret_cast<void*>(&binary<&duration_add>)},
    {Py_nb_subtract, reinterpret_cast<void*>(&binary<&duration_subtract>)},
    {0, nullptr},
};

}  // namespace

PyType_Spec duration_spec = make_class_spec<Duration>(slots);

}  // namespace veltrix_compute::python
