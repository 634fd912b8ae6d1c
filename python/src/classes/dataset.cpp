// The Dataset class: the factories Asset, Run, Saved and Combine, the instance methods tag and
// time_shift, and to_json.
#include <utility>

#include "binding/methods.h"
#include "veltrix_compute/builders/datasets_and_durations.h"

namespace veltrix_compute::python {

namespace {

using model::Dataset;

// Asset, Run and Saved differ only in the record that holds the rid and the variant around it.
template <class Record, Dataset (*Make)(Record)>
Dataset by_rid(model::StringConstant rid) {
  return Make(Record{std::move(rid)});
}

using Rows = MethodsOf<Dataset>;
auto methods = Rows::table(Rows::method<"Asset(rid)", &by_rid<model::Asset, &Dataset::asset>>(),
                           Rows::method<"Run(rid)", &by_rid<model::Run, &Dataset::run>>(),
                           Rows::method<"Saved(rid)", &by_rid<model::SavedDataset, &Dataset::saved>>(),
                           Rows::method<"Combine(inputs)", &dataset_combine>(),
                           Rows::method<"tag($self, key, value)", &dataset_tag>(),
                           Rows::method<"time_shift($self, offset)", &dataset_time_shift>());

}  // namespace

template <>
ClassDefinition class_definition<Dataset>() {
  return {methods.data()};
}

}  // namespace veltrix_compute::python
