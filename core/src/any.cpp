// Placeholder until Any is implemented.
#include "veltrix_compute/any.h"
