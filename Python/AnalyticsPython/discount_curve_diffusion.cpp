#include <Python.h>

// No Python type for the simulated discount curve, which reaches Python as a marketData: the registration adds nothing.
extern "C" int PyQAVREKAddFile_discount_curve_diffusion(PyObject*) { return 0; }
