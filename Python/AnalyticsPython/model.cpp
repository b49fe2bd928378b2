#include <Python.h>

// No Python type for the models: the registration adds nothing.
extern "C" int PyQAVREKAddFile_model(PyObject*) { return 0; }
