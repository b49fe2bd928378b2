#include <Python.h>

// Not wrapped yet: the registration adds nothing.
extern "C" int PyQAVREKAddFile_diffusion_fx_lognormal(PyObject*) { return 0; }
