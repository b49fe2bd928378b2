#include <Python.h>

// No Python type for the helpers of the HJM calibration: the registration adds nothing.
extern "C" int PyQAVREKAddFile_calibration_ir_hjm_helper(PyObject*) { return 0; }
