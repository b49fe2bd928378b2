#include <Python.h>

// No Python type for the HJM spread-option pricer of the calibration: the registration adds nothing.
extern "C" int PyQAVREKAddFile_calibration_ir_hjm_spread_option(PyObject*) { return 0; }
