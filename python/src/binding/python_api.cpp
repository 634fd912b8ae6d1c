#include "binding/python_api.h"

#include "binding/failure.h"

namespace veltrix_compute::python {

std::atomic<bool> detail::interpreter_exit_began{false};

namespace {

PyObject* note_interpreter_exit(PyObject*, PyObject*) {
  detail::interpreter_exit_began.store(true, std::memory_order_release);
  Py_INCREF(Py_None);
  return Py_None;
}

PyMethodDef exit_callback{"_note_interpreter_exit", &note_interpreter_exit, METH_NOARGS, nullptr};

}  // namespace

void watch_interpreter_exit() {
  // Under the interpreter lock, and with one interpreter per process: a plain flag suffices.
  static bool watching = false;
  if (watching) return;
  PyRef atexit = PyRef::steal(check(PyImport_ImportModule("atexit")));
  PyRef callback = PyRef::steal(check(PyCFunction_New(&exit_callback, nullptr)));
  PyRef registered = PyRef::steal(check(PyObject_CallMethod(atexit.get(), "register", "O", callback.get())));
  watching = true;
}

}  // namespace veltrix_compute::python
