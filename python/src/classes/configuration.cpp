// The small configuration classes that NumericSeries methods take as arguments:
// NegativeValueConfiguration, UdfSource, GroupByTags, GroupByTimestamp and ConstantNumericSeries.
#include <string>
#include <utility>

#include "binding/methods.h"
#include "veltrix_compute/builders/aggregation.h"

namespace veltrix_compute::python {

namespace {

using model::ConstantNumericSeries;
using model::GroupByTags;
using model::GroupByTimestamp;
using model::NegativeValueConfiguration;
using model::UdfSource;

using NegativeRows = MethodsOf<NegativeValueConfiguration>;
auto negative_methods = NegativeRows::table(
    NegativeRows::method<"AllowNegativeValues()", &NegativeValueConfiguration::allowNegativeValues>(),
    NegativeRows::method<"SetNegativeValuesToZero()", &NegativeValueConfiguration::setNegativeValuesToZero>(),
    NegativeRows::method<"ExcludeNegativeValues()", &NegativeValueConfiguration::excludeNegativeValues>());

UdfSource rust(std::string source_code) { return UdfSource::rust(model::RustUdfSource{std::move(source_code)}); }

using UdfSourceRows = MethodsOf<UdfSource>;
auto udf_source_methods = UdfSourceRows::table(UdfSourceRows::method<"Rust(source_code)", &rust>());

using TagsRows = MethodsOf<GroupByTags>;
auto group_by_tags_methods = TagsRows::table(TagsRows::method<"Current()", &GroupByTags::current>(),
                                             TagsRows::method<"Subset(tags)", &group_by_tags_subset>());

using TimestampRows = MethodsOf<GroupByTimestamp>;
auto group_by_timestamp_methods = TimestampRows::table(TimestampRows::method<"Current()", &GroupByTimestamp::current>(),
                                                       TimestampRows::method<"Every(every)", &GroupByTimestamp::every>());

using ConstantRows = MethodsOf<ConstantNumericSeries>;
auto constant_methods = ConstantRows::table(ConstantRows::method<"Float(value)", &ConstantNumericSeries::double_>());

}  // namespace

template <>
ClassDefinition class_definition<NegativeValueConfiguration>() {
  return {negative_methods.data()};
}
template <>
ClassDefinition class_definition<UdfSource>() {
  return {udf_source_methods.data()};
}
template <>
ClassDefinition class_definition<GroupByTags>() {
  return {group_by_tags_methods.data()};
}
template <>
ClassDefinition class_definition<GroupByTimestamp>() {
  return {group_by_timestamp_methods.data()};
}
template <>
ClassDefinition class_definition<ConstantNumericSeries>() {
  return {constant_methods.data()};
}

}  // namespace veltrix_compute::python
