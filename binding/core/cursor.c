/* Cursor: an iterator of Rows over one index, converting each row as it is
 * reached. Every step first checks that its transaction is still usable by
 * the calling thread. */
#include "core.h"

typedef enum { kStanding, kMoving, kDone } Place;

typedef struct {
  PyObject_HEAD TableObject* table;
  fpta_cursor* cursor;
  PyObject* where;      /* a Python predicate, or NULL */
  int stop_field;       /* find(): the walk ends at the first row whose */
  PyObject* stop_value; /* stop_field differs from stop_value (if set) */
  Place place;          /* kStanding: on a row not returned yet */
  bool on_row;          /* the row last returned is the current one */
} CursorObject;

static int bound(TableObject* table, int number, PyObject* object, fpta_value* value,
                 fpta_value open_end, PyObject* keep) {
  if (object == Py_None) {
    *value = open_end;
    return 0;
  }
  return value_kept(table->columns[number].type, object, value, keep);
}

PyObject* cursor_open(TableObject* table, PyObject* args, PyObject* kwargs) {
  static char* keywords[] = {"field", "low",        "high",       "reverse", "filter",
                             "where", "stop_field", "stop_value", NULL};
  int field, reverse, stop_field = -1;
  PyObject *low, *high, *spec, *where, *stop_value = Py_None;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "iOOpOO|iO", keywords, &field, &low, &high,
                                   &reverse, &spec, &where, &stop_field, &stop_value)) {
    return NULL;
  }
  const int number = table_column_of(table, field);
  if (number < 0) return NULL;
  PyObject* keep = PyList_New(0);
  if (keep == NULL) return NULL;
  fpta_value from, to;
  fpta_filter *root = NULL, *nodes = NULL;
  CursorObject* cursor = NULL;
  if (bound(table, number, low, &from, fpta_value_begin(), keep) != 0 ||
      bound(table, number, high, &to, fpta_value_end(), keep) != 0 ||
      (spec != Py_None && filter_build(table, spec, &root, &nodes, keep) != 0)) {
    goto done;
  }
  cursor = PyObject_New(CursorObject, &CursorType);
  if (cursor == NULL) goto done;
  cursor->table = (TableObject*)Py_NewRef(table);
  cursor->cursor = NULL;
  cursor->where = where != Py_None ? Py_NewRef(where) : NULL;
  cursor->stop_field = stop_field;
  cursor->stop_value = stop_value != Py_None ? Py_NewRef(stop_value) : NULL;
  cursor->place = kStanding;
  cursor->on_row = false;
  const unsigned index = table->columns[number].index;
  const fpta_cursor_options order = (index & fpta_index_fordered) == 0 ? fpta_unsorted
                                    : reverse                          ? fpta_descending
                                                                       : fpta_ascending;
  /* The engine copies the filter's values: nodes and keep may go after. */
  const int status = fpta_cursor_open(table->txn->txn, &table->columns[number].name, from, to, root,
                                      order, &cursor->cursor);
  if (status != FPTA_SUCCESS) {
    Py_CLEAR(cursor);
    raise_status(status);
  }
done:
  PyMem_Free(nodes);
  Py_DECREF(keep);
  return (PyObject*)cursor;
}

static int usable(CursorObject* cursor) { return txn_usable(cursor->table->txn); }

/* 1: the row is one to return; 0: skip it; -1: an exception. */
static int wanted(CursorObject* cursor, PyObject* row) {
  if (cursor->stop_value != NULL) {
    const int same = PyObject_RichCompareBool(PyTuple_GET_ITEM(row, cursor->stop_field),
                                              cursor->stop_value, Py_EQ);
    if (same <= 0) {
      cursor->place = kDone;
      return same;
    }
  }
  if (cursor->where == NULL) return 1;
  PyObject* verdict = PyObject_CallOneArg(cursor->where, row);
  if (verdict == NULL) return -1;
  const int truth = PyObject_IsTrue(verdict);
  Py_DECREF(verdict);
  return truth;
}

static PyObject* cursor_next(CursorObject* cursor) {
  if (usable(cursor) != 0) return NULL;
  cursor->on_row = false;
  while (cursor->place != kDone) {
    int status = FPTA_SUCCESS;
    if (cursor->place == kMoving) status = fpta_cursor_move(cursor->cursor, fpta_next);
    fptu_ro row;
    if (status == FPTA_SUCCESS) status = fpta_cursor_get(cursor->cursor, &row);
    cursor->place = kMoving;
    if (status == FPTA_NODATA) break;
    if (status != FPTA_SUCCESS) return raise_status(status);
    PyObject* result = table_decode(cursor->table, row);
    if (result == NULL) return NULL;
    const int verdict = wanted(cursor, result);
    if (verdict == 1) {
      cursor->on_row = true;
      return result;
    }
    Py_DECREF(result);
    if (verdict < 0) return NULL;
  }
  cursor->place = kDone;
  return NULL; /* StopIteration */
}

static PyObject* cursor_update(CursorObject* cursor, PyObject* row) {
  if (usable(cursor) != 0) return NULL;
  if (!cursor->on_row) return raise_programming("the cursor has returned no row to update");
  fptu_ro tuple;
  if (table_encode(cursor->table, row, &tuple) != 0) return NULL;
  const int status = fpta_cursor_update(cursor->cursor, tuple);
  return status == FPTA_SUCCESS ? Py_NewRef(Py_None) : raise_status(status);
}

static PyObject* cursor_delete(CursorObject* cursor, PyObject* unused) {
  (void)unused;
  if (usable(cursor) != 0) return NULL;
  if (!cursor->on_row) return raise_programming("the cursor has returned no row to delete");
  const int status = fpta_cursor_delete(cursor->cursor);
  if (status != FPTA_SUCCESS) return raise_status(status);
  /* The cursor now stands on the row after the deleted one. */
  cursor->on_row = false;
  if (cursor->place != kDone) cursor->place = kStanding;
  Py_RETURN_NONE;
}

static PyObject* cursor_count(CursorObject* cursor, PyObject* unused) {
  (void)unused;
  if (usable(cursor) != 0) return NULL;
  size_t count;
  const int status = fpta_cursor_count(cursor->cursor, &count, SIZE_MAX);
  return status == FPTA_SUCCESS ? PyLong_FromSize_t(count) : raise_status(status);
}

static void cursor_dealloc(CursorObject* cursor) {
  /* Closed also after its transaction ended, as the engine wants. */
  if (cursor->cursor != NULL) fpta_cursor_close(cursor->cursor);
  Py_XDECREF(cursor->table);
  Py_XDECREF(cursor->where);
  Py_XDECREF(cursor->stop_value);
  PyObject_Free(cursor);
}

static PyMethodDef cursor_methods[] = {
    {"update", (PyCFunction)cursor_update, METH_O,
     "update(row): replaces the row last returned; the scanned index's key must stay (else "
     "SchemaError)."},
    {"delete", (PyCFunction)cursor_delete, METH_NOARGS, "delete(): deletes the row last returned."},
    {"_count", (PyCFunction)cursor_count, METH_NOARGS,
     "_count() -> int: the rows of the range that pass the filter."},
    {NULL, NULL, 0, NULL}};

PyTypeObject CursorType = {
    PyVarObject_HEAD_INIT(NULL, 0).tp_name = "morvane.Cursor",
    .tp_basicsize = sizeof(CursorObject),
    .tp_dealloc = (destructor)cursor_dealloc,
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_doc =
        "An iterator of the Rows of a scan, in the order of its index (Table.scan and Table.find "
        "make them).\n\n"
        "update(row) replaces and delete() removes the row last returned. Using it after its "
        "transaction "
        "ended raises ProgrammingError.",
    .tp_iter = PyObject_SelfIter,
    .tp_iternext = (iternextfunc)cursor_next,
    .tp_methods = cursor_methods,
};
