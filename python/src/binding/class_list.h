// The module's classes, listed once: (Python name, value type it holds), in the order the module
// adds them. From this list come each value type's class name, the declarations of the class
// definitions that each class family's file provides, and the order of the execution step.
#pragma once

#include <span>
#include <string_view>

#include "binding/python_api.h"
#include "model.h"

#define VELTRIX_CLASSES(X)                                                                          \
  X(NumericSeries, NumericSeries)                                                                   \
  X(CategoricalSeries, EnumSeries)                                                                  \
  X(ConstantNumericSeries, ConstantNumericSeries)                                                   \
  X(IntegerConstant, IntegerConstant)                                                               \
  X(StringConstant, StringConstant)                                                                 \
  X(Dataset, Dataset)                                                                               \
  X(AggregationBuilder, AggregationBuilder)                                                         \
  X(NumericAggregationOperator, NumericAggregationOperator)                                         \
  X(NegativeValueConfiguration, NegativeValueConfiguration)                                         \
  X(UdfSource, UdfSource)                                                                           \
  X(Duration, Duration)                                                                             \
  X(FloatConstant, DoubleConstant)                                                                  \
  X(GroupByTags, GroupByTags)                                                                       \
  X(GroupByTimestamp, GroupByTimestamp)                                                             \
  X(RangeMap, RangeMap)

namespace veltrix_compute::python {

namespace model = veltrix_compute::compute_api;

// The class that wraps a value type (internally, class X is `WrappedX`).
template <class T>
struct ClassOf;
#define VELTRIX_CLASS_OF(Name, Type)                   \
  template <>                                          \
  struct ClassOf<model::Type> {                        \
    static constexpr std::string_view name = #Name;    \
  };
VELTRIX_CLASSES(VELTRIX_CLASS_OF)
#undef VELTRIX_CLASS_OF

template <class T>
concept HasClass = requires { ClassOf<T>::name; };

// What a class family's file says about one class: its method table (ending with an empty
// entry), and any slots beyond freeing and methods (number protocol, constructor).
struct ClassDefinition {
  PyMethodDef* methods;
  std::span<const PyType_Slot> more_slots = {};
};
template <class T>
ClassDefinition class_definition();
#define VELTRIX_DECLARE_CLASS_DEFINITION(Name, Type) \
  template <>                                        \
  ClassDefinition class_definition<model::Type>();
VELTRIX_CLASSES(VELTRIX_DECLARE_CLASS_DEFINITION)
#undef VELTRIX_DECLARE_CLASS_DEFINITION

// The module functions in the order the module adds them, ending with an empty entry.
PyMethodDef* module_functions();

}  // namespace veltrix_compute::python
