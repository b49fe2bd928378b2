#include <Python.h>

// Not wrapped yet: the registration adds nothing.
extern "C" int PyQAVREKAddFile_calibration_credit_black_karasinski(PyObject*) { return 0; }
