#include <Python.h>

// Not wrapped yet: the registration adds nothing.
extern "C" int PyQAVREKAddFile_diffusion_ir_markovian_hjm(PyObject*) { return 0; }
