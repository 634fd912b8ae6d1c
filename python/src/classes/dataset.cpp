// The Dataset class: the factories Asset, Run, Saved and Combine, the instance methods tag and
// time_shift, and to_json.
#include "binding/class_registry.h"
#include "binding/methods.h"
#include "conversions/arguments.h"
#include "veltrix_compute/builders/datasets_and_durations.h"

namespace veltrix_compute::python {

namespace {

using model::Dataset;

// Asset, Run and Saved differ only in the record that holds the rid and the variant around it.
template <class Record, Dataset (*Make)(Record)>
PyObject* by_rid(PyObject*, PyObject** bound) {
  model::StringConstant rid = convert_argument("rid", [&] { return string_constant_input(bound[0]); });
  return wrap(Make(Record{std::move(rid)}));
}

constexpr ParameterList kAsset{"Asset", "Dataset", {"rid"}, 1, 1};
constexpr ParameterList kRun{"Run", "Dataset", {"rid"}, 1, 1};
constexpr ParameterList kSaved{"Saved", "Dataset", {"rid"}, 1, 1};

constexpr ParameterList kCombine{"Combine", "Dataset", {"inputs"}, 1, 1};
PyObject* combine(PyObject*, PyObject** bound) {
  std::vector<Dataset> inputs =
      convert_argument("inputs", [&] { return list_of(bound[0], object_of_class<Dataset>); });
  return wrap(dataset_combine(std::move(inputs)));
}

constexpr ParameterList kTag{"tag", "Dataset", {"key", "value"}, 2, 2};
PyObject* tag(PyObject* self, PyObject** bound) {
  model::StringConstant key = convert_argument("key", [&] { return string_constant_input(bound[0]); });
  model::StringConstant value = convert_argument("value", [&] { return string_constant_input(bound[1]); });
  Dataset input = copy_receiver<Dataset>(self);
  return wrap(dataset_tag(std::move(input), std::move(key), std::move(value)));
}

constexpr ParameterList kTimeShift{"time_shift", "Dataset", {"offset"}, 1, 1};
PyObject* time_shift(PyObject* self, PyObject** bound) {
  model::Duration offset = convert_argument("offset", [&] { return object_of_class<model::Duration>(bound[0]); });
  Dataset input = copy_receiver<Dataset>(self);
  return wrap(dataset_time_shift(std::move(input), std::move(offset)));
}

PyMethodDef methods[] = {
    static_method<kAsset, by_rid<model::Asset, &Dataset::asset>>(),
    static_method<kRun, by_rid<model::Run, &Dataset::run>>(),
    static_method<kSaved, by_rid<model::SavedDataset, &Dataset::saved>>(),
    static_method<kCombine, combine>(),
    instance_method<kTag, tag>(),
    instance_method<kTimeShift, time_shift>(),
    to_json_method<Dataset>(),
    kEndOfMethods,
};

}  // namespace

PyType_Spec dataset_spec = make_class_spec<Dataset>(methods_only_slots<Dataset, methods>);

}  // namespace veltrix_compute::python
