/* TableCore: one table as a transaction sees it, with its columns resolved
 * once, and the conversions of whole rows: Python row -> tuple (in a scratch
 * tuple the table keeps) and stored row -> Row, each in one pass. */
#include "core.h"

#include <string.h>

/* ---- opening ---- */

static bool is_nullable(const ColumnCore* column) {
  return (column->index & fpta_index_fnullable) != 0;
}

static bool is_primary(unsigned index) {
  return (index & (fpta_index_funique | fpta_index_fordered | fpta_index_fobverse)) != 0 &&
         (index & fpta_index_fsecondary) == 0;
}

static int describe(LayoutObject* layout, const fpta_column_info* info, size_t count) {
  layout->columns = PyMem_Calloc(count, sizeof(ColumnCore));
  layout->numbers = PyMem_Calloc(count, sizeof(unsigned));
  layout->positions = PyDict_New();
  PyObject *names = PyList_New(0), *specs = PyList_New(0);
  int result = -1;
  if (layout->columns == NULL || layout->numbers == NULL || layout->positions == NULL ||
      names == NULL || specs == NULL) {
    PyErr_NoMemory();
    goto done;
  }
  layout->count = (unsigned)count;
  for (size_t number = 0; number < count; ++number) {
    ColumnCore* column = &layout->columns[number];
    /* A name resolved by its hash, as fpta_column_init would make it. */
    column->name.shove = info[number].shove;
    column->type = info[number].type;
    column->index = info[number].index;
    column->field = -1;
    if (column->type == fptu_null) continue; /* a composite index */
    column->field = (int)layout->fields;
    layout->numbers[layout->fields++] = (unsigned)number;
    PyObject* name = info[number].name[0] != '\0' ? PyUnicode_FromString(info[number].name)
                                                  : PyUnicode_FromFormat("#%u", (unsigned)number);
    if (name == NULL) goto done;
    PyObject* lower = PyObject_CallMethod(name, "lower", NULL);
    PyObject* field = PyLong_FromLong(column->field);
    PyObject* spec = Py_BuildValue("(Oii)", name, (int)column->type, (int)column->index);
    const bool ok = lower != NULL && field != NULL && spec != NULL &&
                    PyList_Append(names, name) == 0 && PyList_Append(specs, spec) == 0 &&
                    PyDict_SetItem(layout->positions, name, field) == 0 &&
                    PyDict_SetItem(layout->positions, lower, field) == 0;
    Py_XDECREF(lower);
    Py_XDECREF(field);
    Py_XDECREF(spec);
    Py_DECREF(name);
    if (!ok) goto done;
  }
  PyObject* names_tuple = PyList_AsTuple(names);
  if (names_tuple == NULL) goto done;
  layout->row_class = row_class_for(names_tuple);
  Py_DECREF(names_tuple);
  layout->specs = PyList_AsTuple(specs);
  result = layout->row_class != NULL && layout->specs != NULL ? 0 : -1;
done:
  Py_XDECREF(names);
  Py_XDECREF(specs);
  return result;
}

static LayoutObject* read_layout(TxnObject* txn, fpta_name* name) {
  fpta_column_info* info = NULL;
  size_t count = 0;
  const int status = fpta_table_columns(txn->txn, name, &info, &count);
  if (status != FPTA_SUCCESS) return (LayoutObject*)raise_status(status);
  LayoutObject* layout = PyObject_New(LayoutObject, &LayoutType);
  if (layout != NULL) {
    layout->version = name->version;
    layout->count = layout->fields = 0;
    layout->columns = NULL;
    layout->numbers = NULL;
    layout->specs = layout->positions = layout->row_class = NULL;
    if (describe(layout, info, count) != 0) Py_CLEAR(layout);
  }
  free(info);
  return layout;
}

/* The table's layout at the transaction's schema version: the database's
 * cached one when it was read at that version. A schema transaction's own
 * versions may be abandoned, and reused by a later commit, so what it reads
 * is not cached. */
static LayoutObject* layout_of(TxnObject* txn, fpta_name* name) {
  const int status = fpta_name_refresh(txn->txn, name);
  if (status != FPTA_SUCCESS) return (LayoutObject*)raise_status(status);
  PyObject* key = PyLong_FromUnsignedLongLong(name->shove);
  if (key == NULL) return NULL;
  LayoutObject* layout = (LayoutObject*)PyDict_GetItemWithError(txn->db->layouts, key);
  if (layout != NULL && layout->version == name->version) {
    Py_DECREF(key);
    return (LayoutObject*)Py_NewRef(layout);
  }
  layout = PyErr_Occurred() ? NULL : read_layout(txn, name);
  if (layout != NULL && txn->level != fpta_schema &&
      PyDict_SetItem(txn->db->layouts, key, (PyObject*)layout) != 0) {
    Py_CLEAR(layout);
  }
  Py_DECREF(key);
  return layout;
}

PyObject* table_open(TxnObject* txn, PyTypeObject* cls, PyObject* name) {
  const char* text = PyUnicode_AsUTF8(name);
  if (text == NULL) return NULL;
  TableObject* table = (TableObject*)cls->tp_alloc(cls, 0);
  if (table == NULL) return NULL;
  table->txn = (TxnObject*)Py_NewRef(txn);
  if (fpta_table_init(&table->name, text) != FPTA_SUCCESS) {
    Py_DECREF(table);
    return PyErr_Format(PyExc_ValueError, "%R is not a valid table name", name);
  }
  LayoutObject* layout = layout_of(txn, &table->name);
  if (layout == NULL) {
    Py_DECREF(table);
    return NULL;
  }
  table->layout = layout;
  table->columns = PyMem_Malloc(sizeof(ColumnCore) * (layout->count + 1));
  if (table->columns == NULL) {
    Py_DECREF(table);
    return PyErr_NoMemory();
  }
  memcpy(table->columns, layout->columns, sizeof(ColumnCore) * layout->count);
  for (unsigned number = 0; number < layout->count; ++number)
    table->columns[number].name.table = &table->name;
  return (PyObject*)table;
}

static void table_dealloc(TableObject* table) {
  Py_XDECREF(table->txn);
  Py_XDECREF(table->layout);
  PyMem_Free(table->columns);
  free(table->tuple);
  Py_TYPE(table)->tp_free((PyObject*)table);
}

static void layout_dealloc(LayoutObject* layout) {
  Py_XDECREF(layout->specs);
  Py_XDECREF(layout->positions);
  Py_XDECREF(layout->row_class);
  PyMem_Free(layout->columns);
  PyMem_Free(layout->numbers);
  PyObject_Free(layout);
}

PyTypeObject LayoutType = {
    PyVarObject_HEAD_INIT(NULL, 0).tp_name = "morvane._core.Layout",
    .tp_basicsize = sizeof(LayoutObject),
    .tp_dealloc = (destructor)layout_dealloc,
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_doc = "The columns of a table at one schema version.",
};

int table_column_of(TableObject* table, int field) {
  if (field < 0) {
    for (unsigned number = 0; number < table->layout->count; ++number) {
      if (is_primary(table->columns[number].index)) return (int)number;
    }
    raise_status(FPTA_EINVAL);
    return -1;
  }
  if ((unsigned)field >= table->layout->fields) {
    PyErr_SetString(PyExc_IndexError, "no such column");
    return -1;
  }
  return (int)table->layout->numbers[field];
}

/* ---- rows in ---- */

static int scratch_tuple(TableObject* table) {
  if (table->tuple == NULL) {
    const size_t items = table->layout->count + 1;
    table->tuple = fptu_alloc(items, fpta_max_row_bytes - (items + 1) * sizeof(fptu_unit));
    if (table->tuple == NULL) {
      PyErr_NoMemory();
      return -1;
    }
    memcpy(&table->blank, table->tuple, offsetof(fptu_rw, units));
  } else {
    /* An emptied tuple is its header as it was fresh: the units themselves
     * are rewritten as fields are added. */
    memcpy(table->tuple, &table->blank, offsetof(fptu_rw, units));
  }
  return 0;
}

static int put_field(TableObject* table, unsigned field, PyObject* object) {
  const unsigned number = table->layout->numbers[field];
  const ColumnCore* column = &table->columns[number];
  if (object == NULL || object == Py_None) {
    if (is_nullable(column)) return 0;
    raise_schema("column %R takes no null value",
                 PyTuple_GET_ITEM(PyTuple_GET_ITEM(table->layout->specs, field), 0));
    return -1;
  }
  fpta_value value;
  PyObject* keep;
  if (value_from_object(column->type, object, &value, &keep) != 0) return -1;
  const int status = value_put_field(table->tuple, number, column->type, &value);
  Py_XDECREF(keep);
  if (status != FPTA_SUCCESS) {
    raise_status(status);
    return -1;
  }
  return 0;
}

static int field_of_key(TableObject* table, PyObject* key) {
  if (!PyUnicode_Check(key)) {
    PyErr_Format(PyExc_TypeError, "column names are str, not %.100s", Py_TYPE(key)->tp_name);
    return -1;
  }
  PyObject* field = position_of_name(table->layout->positions, key);
  if (field == NULL) {
    if (!PyErr_Occurred()) PyErr_Format(PyExc_ValueError, "the table has no column %R", key);
    return -1;
  }
  return (int)PyLong_AsLong(field);
}

static int encode_mapping(TableObject* table, PyObject* row, PyObject** values) {
  PyObject* items = PyDict_Check(row) ? PyDict_Items(row) : PyMapping_Items(row);
  if (items == NULL) return -1;
  int result = 0;
  for (Py_ssize_t i = 0; result == 0 && i < PyList_GET_SIZE(items); ++i) {
    PyObject* item = PyList_GET_ITEM(items, i);
    if (!PyTuple_Check(item) || PyTuple_GET_SIZE(item) != 2) {
      PyErr_SetString(PyExc_TypeError, "a row mapping's items() gives (name, value) pairs");
      result = -1;
      break;
    }
    const int field = field_of_key(table, PyTuple_GET_ITEM(item, 0));
    if (field < 0) {
      result = -1;
    } else if (values[field] != NULL) {
      PyErr_Format(PyExc_ValueError, "column %R is given twice", PyTuple_GET_ITEM(item, 0));
      result = -1;
    } else {
      values[field] = PyTuple_GET_ITEM(item, 1);
    }
  }
  for (unsigned field = 0; result == 0 && field < table->layout->fields; ++field) {
    result = put_field(table, field, values[field]);
  }
  Py_DECREF(items);
  return result;
}

static int encode_sequence(TableObject* table, PyObject* row) {
  PyObject* fast = PySequence_Fast(row, "a row is a mapping or a sequence");
  if (fast == NULL) return -1;
  int result = 0;
  if ((size_t)PySequence_Fast_GET_SIZE(fast) != table->layout->fields) {
    PyErr_Format(PyExc_ValueError, "a row of this table has %u values, not %zd",
                 table->layout->fields, PySequence_Fast_GET_SIZE(fast));
    result = -1;
  }
  for (unsigned field = 0; result == 0 && field < table->layout->fields; ++field) {
    result = put_field(table, field, PySequence_Fast_GET_ITEM(fast, field));
  }
  Py_DECREF(fast);
  return result;
}

int table_encode(TableObject* table, PyObject* row, fptu_ro* out) {
  if (scratch_tuple(table) != 0) return -1;
  const unsigned fields = table->layout->fields;
  int result;
  if (PyDict_Check(row) ||
      (!PyTuple_CheckExact(row) && !PyList_Check(row) && PyObject_HasAttrString(row, "keys"))) {
    PyObject* stack[64];
    PyObject** values = fields <= 64 ? stack : PyMem_Calloc(fields, sizeof(PyObject*));
    if (values == NULL) return PyErr_NoMemory(), -1;
    memset(values, 0, sizeof(PyObject*) * fields);
    result = encode_mapping(table, row, values);
    if (values != stack) PyMem_Free(values);
  } else if (PyUnicode_Check(row) || PyBytes_Check(row) || PyByteArray_Check(row)) {
    PyErr_Format(PyExc_TypeError, "a row is a mapping or a sequence, not %.100s",
                 Py_TYPE(row)->tp_name);
    result = -1;
  } else {
    result = encode_sequence(table, row);
  }
  if (result == 0) *out = fptu_take_noshrink(table->tuple);
  return result;
}

/* ---- rows out ---- */

PyObject* table_decode(TableObject* table, fptu_ro row) {
  const LayoutObject* layout = table->layout;
  PyTypeObject* cls = (PyTypeObject*)layout->row_class;
  PyObject* result = cls->tp_alloc(cls, (Py_ssize_t)layout->fields);
  if (result == NULL) return NULL;
  const fptu_unit* units = row.units;
  const size_t items = row.total_bytes >= sizeof(fptu_unit) ? units[0].varlen.tuple_items : 0;
  const size_t headers = items < row.total_bytes / sizeof(fptu_unit) ? items : 0;
  for (size_t i = 1; i <= headers; ++i) {
    const fptu_field* field = &units[i].field;
    const unsigned number = field->ct >> fpta_column_typeid_bits;
    if (number >= layout->count) continue; /* a removed field */
    const ColumnCore* column = &table->columns[number];
    const int position = column->field;
    if (position < 0 || PyTuple_GET_ITEM(result, position) != NULL ||
        (fptu_type)(field->ct & fpta_column_typeid_mask) != column->type) {
      continue;
    }
    const fpta_value value = fpta_field2value(field);
    PyObject* object = value_to_object(column->type, &value);
    if (object == NULL) {
      Py_DECREF(result);
      return NULL;
    }
    PyTuple_SET_ITEM(result, position, object);
  }
  for (unsigned position = 0; position < layout->fields; ++position) {
    if (PyTuple_GET_ITEM(result, position) == NULL)
      PyTuple_SET_ITEM(result, position, Py_NewRef(Py_None));
  }
  return result;
}

/* ---- methods ---- */

#define USABLE(table)                               \
  do {                                              \
    if (txn_usable((table)->txn) != 0) return NULL; \
  } while (0)

static PyObject* status_result(int status) {
  return status == FPTA_SUCCESS ? Py_NewRef(Py_None) : raise_status(status);
}

static PyObject* put(TableObject* table, PyObject* row, fpta_put_options op) {
  USABLE(table);
  fptu_ro tuple;
  if (table_encode(table, row, &tuple) != 0) return NULL;
  return status_result(fpta_put(table->txn->txn, &table->name, tuple, op));
}

static PyObject* table_insert(TableObject* table, PyObject* row) {
  return put(table, row, fpta_insert);
}
static PyObject* table_update(TableObject* table, PyObject* row) {
  return put(table, row, fpta_update);
}
static PyObject* table_upsert(TableObject* table, PyObject* row) {
  return put(table, row, fpta_upsert);
}

/* Each row is inserted as it comes; a refused one deletes those inserted
 * before it, from copies of their tuples, which leaves the table as it was.
 * The copies lie one after another, each after a 4-byte length: tuples are
 * whole units, so each stays 4-byte aligned. */
static void undo_inserts(TableObject* table, const char* copies, size_t used) {
  size_t* starts = PyMem_Malloc(sizeof(size_t) * (used / (2 * sizeof(uint32_t)) + 1));
  size_t count = 0;
  for (size_t at = 0; starts != NULL && at < used; ++count) {
    uint32_t size;
    memcpy(&size, copies + at, sizeof(size));
    starts[count] = at;
    at += sizeof(size) + size;
  }
  while (starts != NULL && count-- > 0) {
    uint32_t size;
    memcpy(&size, copies + starts[count], sizeof(size));
    const fptu_ro tuple = {{(const fptu_unit*)(copies + starts[count] + sizeof(size)), size}};
    fpta_delete(table->txn->txn, &table->name, tuple);
  }
  PyMem_Free(starts);
}

static PyObject* table_insert_many(TableObject* table, PyObject* rows) {
  USABLE(table);
  PyObject* iterator = PyObject_GetIter(rows);
  if (iterator == NULL) return NULL;
  char* copies = NULL;
  size_t used = 0, room = 0, inserted = 0;
  int status = FPTA_SUCCESS;
  PyObject* row;
  while ((row = PyIter_Next(iterator)) != NULL) {
    fptu_ro tuple;
    const int encoded = txn_usable(table->txn) == 0 ? table_encode(table, row, &tuple) : -1;
    Py_DECREF(row);
    if (encoded != 0) break;
    /* Copied first, so that every stored row can be taken back. */
    const uint32_t size = (uint32_t)tuple.total_bytes;
    if (used + sizeof(size) + size > room) {
      room = (room + sizeof(size) + size) * 2;
      char* grown = PyMem_Realloc(copies, room);
      if (grown == NULL) {
        PyErr_NoMemory();
        break;
      }
      copies = grown;
    }
    memcpy(copies + used, &size, sizeof(size));
    memcpy(copies + used + sizeof(size), tuple.units, size);
    status = fpta_put(table->txn->txn, &table->name, tuple, fpta_insert);
    if (status != FPTA_SUCCESS) break;
    used += sizeof(size) + size;
    ++inserted;
  }
  Py_DECREF(iterator);
  const bool failed = status != FPTA_SUCCESS || PyErr_Occurred();
  if (failed && table->txn->txn != NULL) undo_inserts(table, copies, used);
  PyMem_Free(copies);
  if (status != FPTA_SUCCESS && !PyErr_Occurred()) return raise_status(status);
  return failed ? NULL : PyLong_FromSize_t(inserted);
}

/* Looks key up in the unique index of field: 0 with the engine's status in
 * *status, or -1 with an exception set when the key cannot be looked up. */
static int lookup(TableObject* table, int field, PyObject* key, fptu_ro* row, int* status) {
  const int number = table_column_of(table, field);
  if (number < 0) return -1;
  fpta_value value;
  PyObject* keep;
  if (key == Py_None) return PyErr_Format(PyExc_TypeError, "None is not a key"), -1;
  if ((table->columns[number].index & fpta_index_funique) == 0) {
    PyErr_Format(PyExc_ValueError,
                 "the index allows duplicates: a key may name several rows (use find())");
    return -1;
  }
  if (value_from_object(table->columns[number].type, key, &value, &keep) != 0) return -1;
  *status = fpta_get(table->txn->txn, &table->columns[number].name, &value, row);
  Py_XDECREF(keep);
  return 0;
}

static PyObject* table_get(TableObject* table, PyObject* args) {
  int field;
  PyObject* key;
  if (!PyArg_ParseTuple(args, "iO", &field, &key)) return NULL;
  USABLE(table);
  fptu_ro row;
  int status;
  if (lookup(table, field, key, &row, &status) != 0) return NULL;
  if (status == FPTA_NOTFOUND) Py_RETURN_NONE;
  return status == FPTA_SUCCESS ? table_decode(table, row) : raise_status(status);
}

static PyObject* table_delete(TableObject* table, PyObject* key) {
  USABLE(table);
  fptu_ro row;
  int status;
  if (lookup(table, -1, key, &row, &status) != 0) return NULL;
  if (status != FPTA_SUCCESS) return raise_status(status);
  /* The row lies in the map, where the delete is about to write. */
  void* copy = PyMem_Malloc(row.total_bytes);
  if (copy == NULL) return PyErr_NoMemory();
  memcpy(copy, row.units, row.total_bytes);
  const fptu_ro owned = {{copy, row.total_bytes}};
  status = fpta_delete(table->txn->txn, &table->name, owned);
  PyMem_Free(copy);
  return status_result(status);
}

static Py_ssize_t table_length(TableObject* table) {
  if (txn_usable(table->txn) != 0) return -1;
  size_t rows;
  const int status = fpta_table_info(table->txn->txn, &table->name, &rows, NULL);
  if (status != FPTA_SUCCESS) return raise_status(status), -1;
  return (Py_ssize_t)rows;
}

static PyObject* table_sequence(TableObject* table, PyObject* args) {
  unsigned long long increment;
  if (!PyArg_ParseTuple(args, "K", &increment)) return NULL;
  USABLE(table);
  uint64_t value;
  const int status = fpta_table_sequence(table->txn->txn, &table->name, &value, increment);
  return status == FPTA_SUCCESS ? PyLong_FromUnsignedLongLong(value) : raise_status(status);
}

static PyObject* table_clear(TableObject* table, PyObject* args) {
  int reset;
  if (!PyArg_ParseTuple(args, "p", &reset)) return NULL;
  USABLE(table);
  return status_result(fpta_table_clear(table->txn->txn, &table->name, reset != 0));
}

static PyObject* table_stats(TableObject* table, PyObject* unused) {
  (void)unused;
  USABLE(table);
  fpta_table_stat stat;
  const int status = fpta_table_info(table->txn->txn, &table->name, NULL, &stat);
  if (status != FPTA_SUCCESS) return raise_status(status);
  return Py_BuildValue("{sKsKsnsnsnsn}", "rows", (unsigned long long)stat.row_count, "total_bytes",
                       (unsigned long long)stat.total_bytes, "btree_depth",
                       (Py_ssize_t)stat.btree_depth, "branch_pages", (Py_ssize_t)stat.branch_pages,
                       "leaf_pages", (Py_ssize_t)stat.leaf_pages, "large_pages",
                       (Py_ssize_t)stat.large_pages);
}

struct verify_context {
  PyObject* faults;
  PyObject* progress;
};

/* Called without the interpreter lock. */
static int verify_report(void* context, const char* fault, uint64_t rows_checked) {
  struct verify_context* verify = context;
  PyGILState_STATE state = PyGILState_Ensure();
  int result = 0;
  if (fault != NULL) {
    PyObject* line = PyUnicode_DecodeUTF8(fault, (Py_ssize_t)strlen(fault), "replace");
    result = line == NULL || PyList_Append(verify->faults, line) != 0;
    Py_XDECREF(line);
  } else if (verify->progress != Py_None) {
    PyObject* called =
        PyObject_CallFunction(verify->progress, "K", (unsigned long long)rows_checked);
    result = called == NULL;
    Py_XDECREF(called);
  }
  PyGILState_Release(state);
  return result ? -1 : 0;
}

static PyObject* table_verify(TableObject* table, PyObject* progress) {
  USABLE(table);
  struct verify_context context = {PyList_New(0), progress};
  if (context.faults == NULL) return NULL;
  int status;
  Py_BEGIN_ALLOW_THREADS
  status = fpta_table_verify(table->txn->txn, &table->name, verify_report, &context, NULL);
  Py_END_ALLOW_THREADS
  if (status == FPTA_SUCCESS) return context.faults;
  Py_DECREF(context.faults);
  return status == -1 && PyErr_Occurred() ? NULL : raise_status(status);
}

static PyObject* table_scan(TableObject* table, PyObject* args, PyObject* kwargs) {
  USABLE(table);
  return cursor_open(table, args, kwargs);
}

static PyObject* table_specs(TableObject* table, void* unused) {
  (void)unused;
  return Py_NewRef(table->layout->specs);
}

static PyObject* table_transaction_core(TableObject* table, void* unused) {
  (void)unused;
  return Py_NewRef((PyObject*)table->txn);
}

static PyMethodDef table_methods[] = {
    {"insert", (PyCFunction)table_insert, METH_O,
     "insert(row): stores a new row (a mapping by column name, or a sequence in column order).\n\n"
     "A taken unique key raises KeyExistsError and changes nothing."},
    {"update", (PyCFunction)table_update, METH_O,
     "update(row): replaces the row with the same primary key (none: NotFoundError)."},
    {"upsert", (PyCFunction)table_upsert, METH_O,
     "upsert(row): inserts the row or replaces the one with its primary key."},
    {"insert_many", (PyCFunction)table_insert_many, METH_O,
     "insert_many(rows) -> int: inserts every row, or, when one is refused, none of them (and "
     "raises)."},
    {"_get", (PyCFunction)table_get, METH_VARARGS,
     "_get(field, key): the row with key in a unique column, or None."},
    {"delete", (PyCFunction)table_delete, METH_O,
     "delete(key): deletes the row with this primary key (none: NotFoundError)."},
    {"_sequence", (PyCFunction)table_sequence, METH_VARARGS, "_sequence(increment) -> int"},
    {"_clear", (PyCFunction)table_clear, METH_VARARGS, "_clear(reset_sequence)"},
    {"_stats", (PyCFunction)table_stats, METH_NOARGS,
     "_stats() -> dict: the row count under 'rows' and the engine's table statistics by name."},
    {"_verify_core", (PyCFunction)table_verify, METH_O,
     "_verify_core(progress) -> list of fault lines."},
    {"_scan", (PyCFunction)(void (*)(void))table_scan, METH_VARARGS | METH_KEYWORDS,
     "_scan(field, low, high, reverse, filter, where, stop_field, stop_value) -> Cursor"},
    {NULL, NULL, 0, NULL}};

static PyGetSetDef table_getset[] = {
    {"_specs", (getter)table_specs, NULL,
     "(name, fptu_type, fpta_index_type) of each column, in column order.", NULL},
    {"_transaction_core", (getter)table_transaction_core, NULL,
     "The TransactionCore the table belongs to.", NULL},
    {NULL, NULL, NULL, NULL, NULL}};

static PySequenceMethods table_sequence_methods = {.sq_length = (lenfunc)table_length};

PyTypeObject TableCoreType = {
    PyVarObject_HEAD_INIT(NULL, 0).tp_name = "morvane._core.TableCore",
    .tp_basicsize = sizeof(TableObject),
    .tp_dealloc = (destructor)table_dealloc,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    .tp_doc = "A table of a transaction (the base of morvane.Table).",
    .tp_methods = table_methods,
    .tp_getset = table_getset,
    .tp_as_sequence = &table_sequence_methods,
};
