/* The floor of a live update: the bare cost of calling into C from Python
 * with one list of floats and getting a new one-float list back. It binds
 * its one argument, reads every element as a double, and returns a list
 * holding the first one; no arithmetic, no state. `Floor(outputs)` returns
 * that many new floats instead (the first value repeated), the floor of a
 * call shaped like a pipeline's. Built by the bench only; never shipped. */
#define PY_SSIZE_T_CLEAN
#include <Python.h>

typedef struct {
  PyObject_HEAD
  Py_ssize_t outputs;
} FloorObject;

static PyObject* floor_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  Py_ssize_t outputs = 1;
  static char* keywords[] = {"outputs", NULL};
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|n", keywords, &outputs)) return NULL;
  if (outputs < 1) {
    PyErr_SetString(PyExc_ValueError, "Floor() needs at least one output");
    return NULL;
  }
  FloorObject* self = (FloorObject*)type->tp_alloc(type, 0);
  if (self != NULL) self->outputs = outputs;
  return (PyObject*)self;
}

static PyObject* floor_update(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
  if (nargs != 1 || (kwnames != NULL && PyTuple_GET_SIZE(kwnames) != 0)) {
    PyErr_SetString(PyExc_TypeError, "Floor.update() takes exactly one argument");
    return NULL;
  }
  PyObject* values = args[0];
  if (!PyList_Check(values)) {
    PyErr_SetString(PyExc_TypeError, "Floor.update() needs a list");
    return NULL;
  }
  double buffer[16];
  Py_ssize_t n = PyList_GET_SIZE(values);
  if (n < 1 || n > 16) {
    PyErr_SetString(PyExc_ValueError, "Floor.update() takes 1 to 16 values");
    return NULL;
  }
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject* item = PyList_GET_ITEM(values, i);
    double x = PyFloat_CheckExact(item) ? PyFloat_AS_DOUBLE(item) : PyFloat_AsDouble(item);
    if (x == -1.0 && PyErr_Occurred()) return NULL;
    buffer[i] = x;
  }
  Py_ssize_t outputs = ((FloorObject*)self)->outputs;
  PyObject* result = PyList_New(outputs);
  if (result == NULL) return NULL;
  for (Py_ssize_t i = 0; i < outputs; ++i) {
    PyObject* value = PyFloat_FromDouble(buffer[0]);
    if (value == NULL) {
      Py_DECREF(result);
      return NULL;
    }
    PyList_SET_ITEM(result, i, value);
  }
  return result;
}

static PyMethodDef floor_methods[] = {
    {"update", (PyCFunction)(void (*)(void))floor_update, METH_FASTCALL | METH_KEYWORDS, NULL},
    {NULL, NULL, 0, NULL},
};

static PyTypeObject FloorType = {
    PyVarObject_HEAD_INIT(NULL, 0).tp_name = "vexal_floor.Floor",
    .tp_basicsize = sizeof(FloorObject),
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_new = floor_new,
    .tp_methods = floor_methods,
};

static struct PyModuleDef floor_module = {PyModuleDef_HEAD_INIT, "vexal_floor", NULL, -1, NULL};

PyMODINIT_FUNC PyInit_vexal_floor(void) {
  if (PyType_Ready(&FloorType) < 0) return NULL;
  PyObject* m = PyModule_Create(&floor_module);
  if (m == NULL) return NULL;
  Py_INCREF(&FloorType);
  if (PyModule_AddObject(m, "Floor", (PyObject*)&FloorType) < 0) {
    Py_DECREF(&FloorType);
    Py_DECREF(m);
    return NULL;
  }
  return m;
}
