/* The module morvane._core: its functions, the status codes of fpta.h as
 * constants, and the bridge to the exception classes and the Row class
 * factory that morvane's Python modules hand over with _bind(). */
#include "core.h"

static PyObject* error_for;         /* status -> exception instance */
static PyObject* programming_error; /* morvane.ProgrammingError */
static PyObject* schema_error;      /* morvane.SchemaError */
static PyObject* row_factory;       /* names -> Row subclass */

PyObject* raise_status(int status) {
  if (error_for == NULL) {
    PyErr_Format(PyExc_RuntimeError, "libfpta status %d: %s", status, fpta_strerror(status));
    return NULL;
  }
  PyObject* error = PyObject_CallFunction(error_for, "i", status);
  if (error != NULL) {
    PyErr_SetObject((PyObject*)Py_TYPE(error), error);
    Py_DECREF(error);
  }
  return NULL;
}

PyObject* raise_programming(const char* message) {
  PyErr_SetString(programming_error != NULL ? programming_error : PyExc_RuntimeError, message);
  return NULL;
}

PyObject* raise_schema(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  PyErr_FormatV(schema_error != NULL ? schema_error : PyExc_RuntimeError, format, arguments);
  va_end(arguments);
  return NULL;
}

PyObject* row_class_for(PyObject* names) {
  if (row_factory == NULL) return raise_programming("morvane._core is used without morvane");
  return PyObject_CallOneArg(row_factory, names);
}

static PyObject* bind(PyObject* module, PyObject* args) {
  (void)module;
  PyObject *errors, *rows;
  if (!PyArg_ParseTuple(args, "OOOO", &errors, &programming_error, &schema_error, &rows))
    return NULL;
  Py_INCREF(programming_error);
  Py_INCREF(schema_error);
  error_for = errors;
  Py_INCREF(error_for);
  row_factory = rows;
  Py_INCREF(row_factory);
  Py_RETURN_NONE;
}

static PyObject* strerror_of(PyObject* module, PyObject* args) {
  (void)module;
  int status;
  if (!PyArg_ParseTuple(args, "i", &status)) return NULL;
  return PyUnicode_FromString(fpta_strerror(status));
}

static PyMethodDef functions[] = {
    {"open_database", db_open, METH_VARARGS,
     "open_database(path: bytes, durability: int, megabytes: int, alterable: bool) -> "
     "DatabaseCore"},
    {"strerror", strerror_of, METH_VARARGS,
     "strerror(status: int) -> str: the engine's text of a status code."},
    {"_bind", bind, METH_VARARGS,
     "Hands over error_for, ProgrammingError, SchemaError and the Row factory."},
    {NULL, NULL, 0, NULL}};

static struct PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    .m_name = "morvane._core",
    .m_doc = "The compiled part of morvane, over libfpta.",
    .m_size = -1,
    .m_methods = functions,
};

/* A constant of fpta.h under its C name. */
typedef struct {
  const char* name;
  int value;
} Named;
#define NAMED(name) \
  { #name, name }

static const Named statuses[] = {
    NAMED(FPTA_SUCCESS),    NAMED(FPTA_NODATA),       NAMED(FPTA_NOTFOUND), NAMED(FPTA_EINVAL),
    NAMED(FPTA_EEXIST),     NAMED(FPTA_ENOIMP),       NAMED(FPTU_ENOSPACE), NAMED(FPTU_ETOOLONG),
    NAMED(FPTA_ETOOMANY),   NAMED(FPTA_ETYPE),        NAMED(FPTA_ECOLUMN),  NAMED(FPTA_ENOKEY),
    NAMED(FPTA_ETXNFAILED), NAMED(FPTA_EKEYMISMATCH),
};

/* The engine's enumerators the Python modules use. */
static const Named enumerators[] = {
    NAMED(fptu_uint16),
    NAMED(fptu_int32),
    NAMED(fptu_uint32),
    NAMED(fptu_fp32),
    NAMED(fptu_int64),
    NAMED(fptu_uint64),
    NAMED(fptu_fp64),
    NAMED(fptu_datetime),
    NAMED(fptu_96),
    NAMED(fptu_128),
    NAMED(fptu_160),
    NAMED(fptu_256),
    NAMED(fptu_cstr),
    NAMED(fptu_opaque),
    NAMED(fpta_index_funique),
    NAMED(fpta_index_fordered),
    NAMED(fpta_index_fobverse),
    NAMED(fpta_index_fsecondary),
    NAMED(fpta_index_fnullable),
    NAMED(fpta_readonly),
    NAMED(fpta_sync),
    NAMED(fpta_lazy),
    NAMED(fpta_weak),
    NAMED(fpta_read),
    NAMED(fpta_write),
    NAMED(fpta_schema),
    NAMED(fpta_node_lt),
    NAMED(fpta_node_le),
    NAMED(fpta_node_gt),
    NAMED(fpta_node_ge),
    NAMED(fpta_node_eq),
    NAMED(fpta_node_ne),
};

static int add_enumerators(PyObject* module) {
  PyObject* table = PyDict_New();
  if (table == NULL) return -1;
  for (size_t i = 0; i < sizeof(enumerators) / sizeof(enumerators[0]); ++i) {
    PyObject* value = PyLong_FromLong(enumerators[i].value);
    const int set = value != NULL ? PyDict_SetItemString(table, enumerators[i].name, value) : -1;
    Py_XDECREF(value);
    if (set != 0) {
      Py_DECREF(table);
      return -1;
    }
  }
  return PyModule_AddObject(module, "ENGINE", table) == 0 ? 0 : (Py_DECREF(table), -1);
}

PyMODINIT_FUNC PyInit__core(void) {
  if (values_init() != 0) return NULL;
  PyTypeObject* types[] = {&DbType, &TxnType, &TableCoreType, &CursorType};
  for (size_t i = 0; i < sizeof(types) / sizeof(types[0]); ++i) {
    if (PyType_Ready(types[i]) != 0) return NULL;
  }
  if (PyType_Ready(&LayoutType) != 0 || rows_init() != 0) return NULL;
  PyObject* module = PyModule_Create(&module_definition);
  if (module == NULL) return NULL;
  for (size_t i = 0; i < sizeof(statuses) / sizeof(statuses[0]); ++i) {
    if (PyModule_AddIntConstant(module, statuses[i].name, statuses[i].value) != 0) goto fail;
  }
  if (add_enumerators(module) != 0) goto fail;
  Py_INCREF(&RowBaseType);
  if (PyModule_AddObject(module, "RowBase", (PyObject*)&RowBaseType) != 0) goto fail;
  const char* type_names[] = {"DatabaseCore", "TransactionCore", "TableCore", "Cursor"};
  for (size_t i = 0; i < sizeof(types) / sizeof(types[0]); ++i) {
    Py_INCREF(types[i]);
    if (PyModule_AddObject(module, type_names[i], (PyObject*)types[i]) != 0) goto fail;
  }
  return module;
fail:
  Py_DECREF(module);
  return NULL;
}
