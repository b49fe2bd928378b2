#include <Python.h>

// No Python type for the discovery of the diffusions that a simulation needs: the registration adds nothing.
extern "C" int PyQAVREKAddFile_simulation_helper(PyObject*) { return 0; }
