#include <Python.h>

// No Python type for the simulated equity spot, which reaches Python as a marketData: the registration adds nothing.
extern "C" int PyQAVREKAddFile_equity_spot_diffusion(PyObject*) { return 0; }
