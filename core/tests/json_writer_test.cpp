#include <gtest/gtest.h>

#include "model.h"

namespace vc = veltrix_compute;
namespace model = veltrix_compute::compute_api;

TEST(MainRoad, HeadOfReference) {
  auto head = model::NumericSeries::selectOldestPoints(model::SelectOldestPointsSeries{
      model::NumericSeries::raw(model::Reference{"speed"}), model::IntegerConstant::literal(10)});
  EXPECT_EQ(vc::to_json_text(head).text,
            R"({"type":"selectOldestPoints","selectOldestPoints":{"input":{"type":"raw","raw":{"name":"speed"}},"numPoints":{"type":"literal","literal":10}}})");
}
