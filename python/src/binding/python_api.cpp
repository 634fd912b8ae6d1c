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

PyRef call_method(const PyRef& object, const char* name) {
  return object ? PyRef::steal(PyObject_CallMethod(object.get(), name, nullptr)) : PyRef();
}

// 1 if the object is true, 0 if false, -1 with the error set if it cannot tell.
int truth(const PyRef& object) { return object ? PyObject_IsTrue(object.get()) : -1; }

// Whether the interpreter is already running its atexit callbacks (this first import comes from
// one of them), so that a callback registered now will never run. Public signals, observed on
// CPython 3.10 to 3.13 (sys.is_finalizing() is still False then):
// 1. Without `threading` in sys.modules there is no daemon thread of its making; it is looked up,
//    never imported here.
// 2. threading.main_thread().is_alive() turns False when threading's shutdown starts, before the
//    atexit callbacks.
// 3. That shutdown first joins the non-daemon threads, and a callback registered then still runs:
//    exit has begun only once no live non-daemon thread but the main one is left (the importing
//    thread is then the main thread or a daemon or dummy one). Setting the flag during the join
//    would only leak whatever the remaining threads then drop.
// A non-daemon thread that an atexit callback itself starts keeps the answer false, as does any
// failure of these calls: exit is then taken as not begun, as it was before this check.
bool exit_already_began() {
  PyRef name = PyRef::steal(PyUnicode_FromString("threading"));
  PyRef threading = name ? PyRef::steal(PyImport_GetModule(name.get())) : PyRef();
  if (!threading) return false;
  PyRef main = call_method(threading, "main_thread");
  if (truth(call_method(main, "is_alive")) != 0) return false;
  PyRef threads = call_method(threading, "enumerate");  // the live ones
  PyRef iterator = threads ? PyRef::steal(PyObject_GetIter(threads.get())) : PyRef();
  if (!iterator) return false;
  while (PyRef thread = PyRef::steal(PyIter_Next(iterator.get()))) {
    if (thread.get() == main.get()) continue;
    if (truth(PyRef::steal(PyObject_GetAttrString(thread.get(), "daemon"))) != 1) return false;
  }
  return !PyErr_Occurred();
}

}  // namespace

void watch_interpreter_exit() {
  // Under the interpreter lock, and with one interpreter per process: a plain flag suffices.
  static bool watching = false;
  if (watching) return;
  PyRef atexit = PyRef::steal(check(PyImport_ImportModule("atexit")));
  PyRef callback = PyRef::steal(check(PyCFunction_New(&exit_callback, nullptr)));
  PyRef registered = PyRef::steal(check(PyObject_CallMethod(atexit.get(), "register", "O", callback.get())));
  watching = true;
  // A first import from an atexit callback: the one just registered will not run, yet daemon
  // threads inside module calls will be ended, so the flag is set now. From here to the end of
  // the process, references and cells the module drops are leaked.
  if (exit_already_began()) detail::interpreter_exit_began.store(true, std::memory_order_release);
  PyErr_Clear();
}

}  // namespace veltrix_compute::python
