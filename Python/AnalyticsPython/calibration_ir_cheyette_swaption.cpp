#include <Python.h>

// No Python type for the Cheyette swaption pricer of the calibration: the registration adds nothing.
extern "C" int PyQAVREKAddFile_calibration_ir_cheyette_swaption(PyObject*) { return 0; }
