#include <Python.h>

// No Python type for the simulated FX spot, which reaches Python as a marketData: the registration adds nothing.
extern "C" int PyQAVREKAddFile_fx_spot_diffusion(PyObject*) { return 0; }
