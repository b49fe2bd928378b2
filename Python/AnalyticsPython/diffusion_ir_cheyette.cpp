#include <Python.h>

// Not wrapped yet: the registration adds nothing.
extern "C" int PyQAVREKAddFile_diffusion_ir_cheyette(PyObject*) { return 0; }
