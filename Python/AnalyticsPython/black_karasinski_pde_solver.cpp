#include <Python.h>

// No Python type for the credit calibration's survival-probability solver: the registration adds nothing.
extern "C" int PyQAVREKAddFile_black_karasinski_pde_solver(PyObject*) { return 0; }
