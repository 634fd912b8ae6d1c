#include "veltrix_compute/model_support.h"

namespace veltrix_compute {

void write_json(json::Buffer& out, const UnknownVariant& unknown) {
  out.literal("{\"type\":");
  json::write_json(out, unknown.name);
  out.put(',');
  json::write_json(out, unknown.name);
  out.put(':');
  write_json(out, unknown.value);
  out.put('}');
}

}  // namespace veltrix_compute
