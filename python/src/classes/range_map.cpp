// The RangeMap class, the only one made by calling it: RangeMap(output, start=None, end=None),
// and to_json.
#include "binding/methods.h"
#include "veltrix_compute/builders/datasets_and_durations.h"

namespace veltrix_compute::python {

namespace {

using model::RangeMap;

using Rows = MethodsOf<RangeMap>;
auto methods = Rows::table();
auto constructor = Rows::constructor<"RangeMap(output, start=None, end=None)", &range_map_create>();

}  // namespace

template <>
ClassDefinition class_definition<RangeMap>() {
  return {methods.data(), constructor};
}

}  // namespace veltrix_compute::python
