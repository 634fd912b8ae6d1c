#include "binding/python_api.h"

#include <dlfcn.h>

namespace veltrix_compute::python::detail {

// PyGILState_Check is public C API in every CPython 3, but outside the stable ABI (it is declared
// in cpython/pystate.h), so it is looked up by name when the module is loaded. An interpreter
// without it is taken to hold the lock whenever the module runs, as it does but at exit.
int (*const interpreter_lock_check)() = reinterpret_cast<int (*)()>(dlsym(RTLD_DEFAULT, "PyGILState_Check"));

}  // namespace veltrix_compute::python::detail
