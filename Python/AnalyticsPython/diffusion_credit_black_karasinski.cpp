#include <Python.h>

// Not wrapped yet: the registration adds nothing.
extern "C" int PyQAVREKAddFile_diffusion_credit_black_karasinski(PyObject*) { return 0; }
