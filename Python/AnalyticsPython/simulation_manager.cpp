#include <Python.h>

// Not wrapped yet: the registration adds nothing.
extern "C" int PyQAVREKAddFile_simulation_manager(PyObject*) { return 0; }
