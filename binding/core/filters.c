/* Comparison trees (morvane.col() expressions, flattened by
 * morvane._filters) as engine filters: the engine evaluates them on each row
 * before the row becomes a Python object. */
#include "core.h"

static Py_ssize_t count_nodes(PyObject* spec) {
  if (!PyTuple_Check(spec) || PyTuple_GET_SIZE(spec) < 2) {
    PyErr_SetString(PyExc_TypeError, "not a filter");
    return -1;
  }
  if (PyTuple_GET_SIZE(spec) == 4) return 1; /* a comparison */
  Py_ssize_t total = 1;
  for (Py_ssize_t i = 1; i < PyTuple_GET_SIZE(spec); ++i) {
    const Py_ssize_t below = count_nodes(PyTuple_GET_ITEM(spec, i));
    if (below < 0) return -1;
    total += below;
  }
  return total;
}

static fpta_filter* build(TableObject* table, PyObject* spec, fpta_filter** next, PyObject* keep) {
  fpta_filter* node = (*next)++;
  const char* kind = PyUnicode_AsUTF8(PyTuple_GET_ITEM(spec, 0));
  if (kind == NULL) return NULL;
  if (PyTuple_GET_SIZE(spec) == 4) {
    const int op = (int)PyLong_AsLong(PyTuple_GET_ITEM(spec, 1));
    const int number = table_column_of(table, (int)PyLong_AsLong(PyTuple_GET_ITEM(spec, 2)));
    if (number < 0 || PyErr_Occurred()) return NULL;
    PyObject* operand = PyTuple_GET_ITEM(spec, 3);
    if (operand == Py_None)
      return PyErr_Format(PyExc_TypeError, "col() compares with values, not None"), NULL;
    node->type = (fpta_filter_bits)op;
    node->node_cmp.left_id = &table->columns[number].name;
    if (value_kept(table->columns[number].type, operand, &node->node_cmp.right_value, keep) != 0)
      return NULL;
    return node;
  }
  fpta_filter* a = build(table, PyTuple_GET_ITEM(spec, 1), next, keep);
  if (a == NULL) return NULL;
  if (kind[0] == 'n') { /* "not" */
    node->type = fpta_node_not;
    node->node_not = a;
    return node;
  }
  if (PyTuple_GET_SIZE(spec) != 3) return PyErr_Format(PyExc_TypeError, "not a filter"), NULL;
  fpta_filter* b = build(table, PyTuple_GET_ITEM(spec, 2), next, keep);
  if (b == NULL) return NULL;
  node->type = kind[0] == 'a' ? fpta_node_and : fpta_node_or;
  node->node_and.a = a;
  node->node_and.b = b;
  return node;
}

int filter_build(TableObject* table, PyObject* spec, fpta_filter** root, fpta_filter** nodes,
                 PyObject* keep) {
  *root = *nodes = NULL;
  const Py_ssize_t count = count_nodes(spec);
  if (count < 0) return -1;
  *nodes = PyMem_Calloc((size_t)count, sizeof(fpta_filter));
  if (*nodes == NULL) return PyErr_NoMemory(), -1;
  fpta_filter* next = *nodes;
  *root = build(table, spec, &next, keep);
  return *root != NULL ? 0 : -1;
}
