#include <Python.h>

// Not wrapped yet: the registration adds nothing.
extern "C" int PyQAVREKAddFile_diffusion_credit(PyObject*) { return 0; }
