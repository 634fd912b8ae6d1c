// Where the binding layer finds each class's PyType_Spec and the module functions. Each class
// family's file defines its own.
#include "binding/class_registry.h"

namespace veltrix_compute::python {

extern PyType_Spec numeric_series_spec;
extern PyType_Spec categorical_series_spec;
extern PyType_Spec constant_numeric_series_spec;
extern PyType_Spec integer_constant_spec;
extern PyType_Spec string_constant_spec;
extern PyType_Spec dataset_spec;
extern PyType_Spec aggregation_builder_spec;
extern PyType_Spec numeric_aggregation_operator_spec;
extern PyType_Spec negative_value_configuration_spec;
extern PyType_Spec udf_source_spec;
extern PyType_Spec duration_spec;
extern PyType_Spec float_constant_spec;
extern PyType_Spec group_by_tags_spec;
extern PyType_Spec group_by_timestamp_spec;
extern PyType_Spec range_map_spec;

const PyType_Spec* class_spec(ClassId id) {
  static const PyType_Spec* const specs[] = {
      &numeric_series_spec,           &categorical_series_spec,
      &constant_numeric_series_spec,  &integer_constant_spec,
      &string_constant_spec,          &dataset_spec,
      &aggregation_builder_spec,      &numeric_aggregation_operator_spec,
      &negative_value_configuration_spec, &udf_source_spec,
      &duration_spec,                 &float_constant_spec,
      &group_by_tags_spec,            &group_by_timestamp_spec,
      &range_map_spec,
  };
  static_assert(sizeof specs / sizeof specs[0] == static_cast<int>(ClassId::Count));
  return specs[static_cast<int>(id)];
}

extern PyMethodDef module_function_table[];
PyMethodDef* module_functions() { return module_function_table; }

}  // namespace veltrix_compute::python
