#include <Python.h>

// No Python type for the HJM swaption pricer of the calibration: the registration adds nothing.
extern "C" int PyQAVREKAddFile_calibration_ir_hjm_swaption(PyObject*) { return 0; }
