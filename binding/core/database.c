/* DatabaseCore and TransactionCore: the engine's database and transaction
 * handles. Opening, beginning (which waits for the writer lock), committing
 * (which waits for the disk) and closing run without the interpreter lock. */
#include "core.h"

#include <pythread.h>

PyObject* db_open(PyObject* self, PyObject* args) {
  (void)self;
  const char* path;
  int durability, alterable;
  Py_ssize_t megabytes;
  if (!PyArg_ParseTuple(args, "yinp", &path, &durability, &megabytes, &alterable)) return NULL;
  if (megabytes < 0) return PyErr_Format(PyExc_OverflowError, "max_size_mb must not be negative");
  DbObject* db = PyObject_New(DbObject, &DbType);
  if (db == NULL) return NULL;
  db->db = NULL;
  db->layouts = PyDict_New();
  if (db->layouts == NULL) {
    Py_DECREF(db);
    return NULL;
  }
  int status;
  Py_BEGIN_ALLOW_THREADS
  status = fpta_db_open(path, (fpta_durability)durability, fpta_regime_default, 0,
                        (size_t)megabytes, alterable != 0, &db->db);
  Py_END_ALLOW_THREADS
  if (status != FPTA_SUCCESS) {
    Py_DECREF(db);
    return raise_status(status);
  }
  return (PyObject*)db;
}

static int close_db(DbObject* db) {
  int status = FPTA_SUCCESS;
  if (db->db != NULL) {
    Py_BEGIN_ALLOW_THREADS
    status = fpta_db_close(db->db);
    Py_END_ALLOW_THREADS
    if (status == FPTA_SUCCESS) db->db = NULL;
  }
  return status;
}

static PyObject* db_close(DbObject* db, PyObject* unused) {
  (void)unused;
  const int status = close_db(db);
  return status == FPTA_SUCCESS ? Py_NewRef(Py_None) : raise_status(status);
}

static PyObject* db_begin(DbObject* db, PyObject* args) {
  int level;
  if (!PyArg_ParseTuple(args, "i", &level)) return NULL;
  if (db->db == NULL) return raise_programming("the database is closed");
  TxnObject* txn = PyObject_New(TxnObject, &TxnType);
  if (txn == NULL) return NULL;
  txn->db = (DbObject*)Py_NewRef(db);
  txn->txn = NULL;
  txn->owner = PyThread_get_thread_ident();
  txn->level = level;
  int status;
  Py_BEGIN_ALLOW_THREADS
  status = fpta_transaction_begin(db->db, (fpta_level)level, &txn->txn);
  Py_END_ALLOW_THREADS
  if (status != FPTA_SUCCESS) {
    Py_DECREF(txn);
    return raise_status(status);
  }
  return (PyObject*)txn;
}

static void db_dealloc(DbObject* db) {
  /* Every transaction holds its database, so none is open now. */
  close_db(db);
  Py_XDECREF(db->layouts);
  PyObject_Free(db);
}

static PyMethodDef db_methods[] = {
    {"begin", (PyCFunction)db_begin, METH_VARARGS,
     "begin(level: int) -> TransactionCore; waits for the writer lock."},
    {"close", (PyCFunction)db_close, METH_NOARGS, "Closes the database; harmless when closed."},
    {NULL, NULL, 0, NULL}};

PyTypeObject DbType = {
    PyVarObject_HEAD_INIT(NULL, 0).tp_name = "morvane._core.DatabaseCore",
    .tp_basicsize = sizeof(DbObject),
    .tp_dealloc = (destructor)db_dealloc,
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_doc = "An open database file (morvane.Database holds one).",
    .tp_methods = db_methods,
};

/* ---- transactions ---- */

int txn_usable(TxnObject* txn) {
  if (txn->txn == NULL) {
    raise_programming("the transaction has ended");
    return -1;
  }
  if (txn->owner != PyThread_get_thread_ident()) {
    raise_programming("the transaction belongs to another thread");
    return -1;
  }
  return 0;
}

static PyObject* txn_end(TxnObject* txn, PyObject* args) {
  int abort;
  if (!PyArg_ParseTuple(args, "p", &abort)) return NULL;
  if (txn_usable(txn) != 0) return NULL;
  fpta_txn* handle = txn->txn;
  txn->txn = NULL;
  int status;
  Py_BEGIN_ALLOW_THREADS
  status = fpta_transaction_end(handle, abort != 0);
  Py_END_ALLOW_THREADS
  return status == FPTA_SUCCESS ? Py_NewRef(Py_None) : raise_status(status);
}

static PyObject* txn_table_names(TxnObject* txn, PyObject* unused) {
  (void)unused;
  if (txn_usable(txn) != 0) return NULL;
  char** names;
  size_t count;
  const int status = fpta_table_names(txn->txn, &names, &count);
  if (status != FPTA_SUCCESS) return raise_status(status);
  PyObject* list = PyList_New((Py_ssize_t)count);
  for (size_t i = 0; list != NULL && i < count; ++i) {
    PyObject* name = PyUnicode_FromString(names[i]);
    if (name == NULL)
      Py_CLEAR(list);
    else
      PyList_SET_ITEM(list, (Py_ssize_t)i, name);
  }
  free(names);
  return list;
}

static PyObject* txn_table(TxnObject* txn, PyObject* args) {
  PyTypeObject* cls;
  PyObject* name;
  if (!PyArg_ParseTuple(args, "O!U", &PyType_Type, &cls, &name)) return NULL;
  if (!PyType_IsSubtype(cls, &TableCoreType))
    return PyErr_Format(PyExc_TypeError, "not a TableCore class");
  if (txn_usable(txn) != 0) return NULL;
  return table_open(txn, cls, name);
}

/* specs: a sequence of (name, fptu_type, fpta_index_type). */
static PyObject* txn_create_table(TxnObject* txn, PyObject* args) {
  const char* name;
  PyObject* specs;
  if (!PyArg_ParseTuple(args, "sO", &name, &specs)) return NULL;
  if (txn_usable(txn) != 0) return NULL;
  PyObject* fast = PySequence_Fast(specs, "columns must be a sequence");
  if (fast == NULL) return NULL;
  fpta_column_set* set = PyMem_Malloc(sizeof(fpta_column_set));
  if (set == NULL) {
    Py_DECREF(fast);
    return PyErr_NoMemory();
  }
  fpta_column_set_init(set);
  int status = FPTA_SUCCESS;
  for (Py_ssize_t i = 0; status == FPTA_SUCCESS && i < PySequence_Fast_GET_SIZE(fast); ++i) {
    const char* column;
    int type, index;
    if (!PyArg_ParseTuple(PySequence_Fast_GET_ITEM(fast, i), "sii", &column, &type, &index)) {
      status = -1;
      break;
    }
    status = fpta_column_describe(column, (fptu_type)type, (fpta_index_type)index, set);
  }
  if (status == FPTA_SUCCESS) status = fpta_table_create(txn->txn, name, set);
  PyMem_Free(set);
  Py_DECREF(fast);
  if (status == -1) return NULL;
  return status == FPTA_SUCCESS ? Py_NewRef(Py_None) : raise_status(status);
}

static PyObject* txn_drop_table(TxnObject* txn, PyObject* args) {
  const char* name;
  if (!PyArg_ParseTuple(args, "s", &name)) return NULL;
  if (txn_usable(txn) != 0) return NULL;
  const int status = fpta_table_drop(txn->txn, name);
  return status == FPTA_SUCCESS ? Py_NewRef(Py_None) : raise_status(status);
}

static PyObject* txn_ended(TxnObject* txn, void* unused) {
  (void)unused;
  return PyBool_FromLong(txn->txn == NULL);
}

static PyObject* txn_owned(TxnObject* txn, void* unused) {
  (void)unused;
  return PyBool_FromLong(txn->owner == PyThread_get_thread_ident());
}

static void txn_dealloc(TxnObject* txn) {
  /* A transaction dropped unended is aborted, by its own thread only: a
   * writer's lock cannot be released by another. */
  if (txn->txn != NULL && txn->owner == PyThread_get_thread_ident()) {
    Py_BEGIN_ALLOW_THREADS
    fpta_transaction_end(txn->txn, true);
    Py_END_ALLOW_THREADS
  }
  Py_XDECREF(txn->db);
  PyObject_Free(txn);
}

static PyMethodDef txn_methods[] = {
    {"end", (PyCFunction)txn_end, METH_VARARGS,
     "end(abort: bool): commits or aborts; the core is spent after it."},
    {"table_names", (PyCFunction)txn_table_names, METH_NOARGS, "The tables' names, unsorted."},
    {"table", (PyCFunction)txn_table, METH_VARARGS,
     "table(cls, name) -> cls: a table of this transaction."},
    {"create_table", (PyCFunction)txn_create_table, METH_VARARGS,
     "create_table(name, [(column, fptu_type, fpta_index_type), ...])"},
    {"drop_table", (PyCFunction)txn_drop_table, METH_VARARGS, "drop_table(name)"},
    {NULL, NULL, 0, NULL}};

static PyObject* txn_level(TxnObject* txn, void* unused) {
  (void)unused;
  return PyLong_FromLong(txn->level);
}

static PyGetSetDef txn_getset[] = {
    {"level", (getter)txn_level, NULL, "The fpta_level it was begun at.", NULL},
    {"ended", (getter)txn_ended, NULL, "Whether the transaction has ended.", NULL},
    {"owned", (getter)txn_owned, NULL, "Whether the calling thread began the transaction.", NULL},
    {NULL, NULL, NULL, NULL, NULL}};

PyTypeObject TxnType = {
    PyVarObject_HEAD_INIT(NULL, 0).tp_name = "morvane._core.TransactionCore",
    .tp_basicsize = sizeof(TxnObject),
    .tp_dealloc = (destructor)txn_dealloc,
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_doc = "An engine transaction (morvane.Transaction holds one).",
    .tp_methods = txn_methods,
    .tp_getset = txn_getset,
};
