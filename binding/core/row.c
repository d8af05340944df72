/* RowBase: the base of morvane.Row, a tuple whose items are also found by
 * column name. Each table's rows are of a subclass (made by morvane._row)
 * whose class attribute _index maps names, as created and lower-cased, to
 * positions; looking a name up here keeps row["name"] and row[1] off the
 * interpreter's slower paths. */
#include "core.h"

static PyObject* index_name;

PyObject* position_of_name(PyObject* positions, PyObject* name) {
  PyObject* position = PyDict_GetItemWithError(positions, name);
  if (position != NULL || PyErr_Occurred()) return position;
  PyObject* lower = PyObject_CallMethod(name, "lower", NULL);
  if (lower == NULL) return NULL;
  position = PyDict_GetItemWithError(positions, lower);
  Py_DECREF(lower);
  return position;
}

static PyObject* row_subscript(PyObject* row, PyObject* key) {
  if (!PyUnicode_Check(key)) return PyTuple_Type.tp_as_mapping->mp_subscript(row, key);
  PyObject* index = PyObject_GetAttr((PyObject*)Py_TYPE(row), index_name);
  if (index == NULL) return NULL;
  /* Borrowed from index, which the class keeps alive. */
  PyObject* position = PyDict_Check(index) ? position_of_name(index, key) : NULL;
  Py_DECREF(index);
  if (position == NULL) {
    if (!PyErr_Occurred()) PyErr_SetObject(PyExc_KeyError, key);
    return NULL;
  }
  const Py_ssize_t at = PyLong_AsSsize_t(position);
  if (at < 0 || at >= PyTuple_GET_SIZE(row)) {
    if (!PyErr_Occurred()) PyErr_SetObject(PyExc_KeyError, key);
    return NULL;
  }
  return Py_NewRef(PyTuple_GET_ITEM(row, at));
}

static PyMappingMethods row_mapping = {.mp_subscript = row_subscript};

PyTypeObject RowBaseType = {
    PyVarObject_HEAD_INIT(NULL, 0).tp_name = "morvane._core.RowBase",
    /* tp_basicsize and tp_itemsize: a tuple's, inherited by PyType_Ready. */
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_TUPLE_SUBCLASS,
    .tp_doc = "A tuple whose items are also found by column name (the base of morvane.Row).",
    .tp_as_mapping = &row_mapping,
};

int rows_init(void) {
  index_name = PyUnicode_InternFromString("_index");
  if (index_name == NULL) return -1;
  RowBaseType.tp_base = &PyTuple_Type;
  return PyType_Ready(&RowBaseType);
}
