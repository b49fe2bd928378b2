#include <Python.h>

// No Python type for the simulated survival curve, which reaches Python as a marketData: the registration adds nothing.
extern "C" int PyQAVREKAddFile_survival_curve_diffusion(PyObject*) { return 0; }
