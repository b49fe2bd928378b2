#include <Python.h>

// Not wrapped yet: the registration adds nothing.
extern "C" int PyQAVREKAddFile_diffusion_ir(PyObject*) { return 0; }
