#include <Python.h>

// Not wrapped yet: the registration adds nothing.
extern "C" int PyQAVREKAddFile_lognormal_fx_with_mhjm_ir(PyObject*) { return 0; }
