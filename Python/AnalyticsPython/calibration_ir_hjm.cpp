#include <Python.h>

// Not wrapped yet: the registration adds nothing.
extern "C" int PyQAVREKAddFile_calibration_ir_hjm(PyObject*) { return 0; }
