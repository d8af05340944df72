/*
 * morvane._core: the compiled part of the morvane package. It calls libfpta
 * directly and turns rows into Python objects (and back) in one pass per
 * row. The Python modules of the package hold the rest: argument checks that
 * need no engine, the exception classes, the per-database guards.
 *
 * Lifetimes: a Transaction core (TxnObject) owns its fpta_txn until it ends;
 * every call through it, its tables or its cursors checks first that it has
 * not ended and that the calling thread is the one that began it, so no
 * handle is used after it was released and no thread waits on a lock it
 * holds itself. Tables and cursors keep their transaction core alive.
 */
#ifndef MORVANE_CORE_H
#define MORVANE_CORE_H

#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <stdbool.h>

#include "fpta.h"

/* ---- module.c: errors and the classes the Python modules supply ---- */

/* Raises the exception of an engine status; returns NULL. */
PyObject* raise_status(int status);
/* Raises morvane.ProgrammingError (or SchemaError) with a message; NULL. */
PyObject* raise_programming(const char* message);
PyObject* raise_schema(const char* format, ...);
/* The Row class factory: names tuple -> a Row subclass (a tuple subclass). */
PyObject* row_class_for(PyObject* names);

/* ---- database.c ---- */

typedef struct {
  PyObject_HEAD fpta_db* db; /* null once closed */
  PyObject* layouts;         /* table name hash -> the Layout last read (table.c) */
} DbObject;

typedef struct {
  PyObject_HEAD DbObject* db;
  fpta_txn* txn;       /* null once ended */
  unsigned long owner; /* thread that began it */
  int level;
} TxnObject;

extern PyTypeObject DbType, TxnType;
PyObject* db_open(PyObject* self, PyObject* args);
/* 0 when the transaction may be used by the calling thread, else -1 with
 * ProgrammingError set. */
int txn_usable(TxnObject* txn);

/* ---- table.c ---- */

/* One column of an open table. */
typedef struct {
  fpta_name name;
  fptu_type type;
  unsigned index; /* fpta_index_type bits */
  int field;      /* position in a Row; -1 for a composite index */
} ColumnCore;

/* What rows of a table look like at one schema version: read once per
 * database and version, shared by the tables opened meanwhile. */
typedef struct {
  PyObject_HEAD uint64_t version; /* the schema version it was read at */
  unsigned count;                 /* columns, composite indexes included */
  ColumnCore* columns;            /* by column number; their names' table unset */
  unsigned fields;                /* columns that rows hold */
  unsigned* numbers;              /* column number of each field */
  PyObject* specs;                /* tuple of (name, type, index) per field */
  PyObject* positions;            /* dict: name as created and lower-case -> field */
  PyObject* row_class;
} LayoutObject;

typedef struct {
  PyObject_HEAD TxnObject* txn;
  fpta_name name;
  LayoutObject* layout;
  /* The layout's columns, this table's own copy: their names point to this
   * table's name and are resolved in its transaction. */
  ColumnCore* columns;
  fptu_rw* tuple; /* scratch space for rows being written */
  fptu_rw blank;  /* its header while empty */
} TableObject;

extern PyTypeObject TableCoreType, LayoutType;
PyObject* table_open(TxnObject* txn, PyTypeObject* cls, PyObject* name);
/* The row (a mapping or a sequence) as a tuple in table->tuple; 0 or -1. */
int table_encode(TableObject* table, PyObject* row, fptu_ro* out);
/* A Row of the table's class made from a stored row. */
PyObject* table_decode(TableObject* table, fptu_ro row);
/* Column number of a field position given by Python (-1: the primary index),
 * checked; -1 with an exception set. */
int table_column_of(TableObject* table, int field);

/* ---- values.c ---- */

/* A Python value for a column of type: *value, pointing into *keep (a new
 * reference, possibly NULL) or into object itself, which the caller keeps
 * alive. TypeError, OverflowError, ValueError as the package promises; -1
 * then. None is refused here (callers decide about nulls). */
int value_from_object(fptu_type type, PyObject* object, fpta_value* value, PyObject** keep);
/* value_from_object whose kept object, if any, is appended to the list keep,
 * for values that must outlive the call (bounds, filters). 0 or -1. */
int value_kept(fptu_type type, PyObject* object, fpta_value* value, PyObject* keep);
/* The Python value of a field of that column type; a new reference. */
PyObject* value_to_object(fptu_type type, const fpta_value* value);
/* Adds the value as column's field to the tuple; an engine status. */
int value_put_field(fptu_rw* tuple, unsigned column, fptu_type type, const fpta_value* value);
int values_init(void);

/* ---- row.c ---- */

extern PyTypeObject RowBaseType;
int rows_init(void);
/* The position a dict of column names, as created and lower-cased, holds for
 * name, looked up as given, then lower-cased: a borrowed reference, or NULL
 * (with an exception set only when the lookup itself failed). */
PyObject* position_of_name(PyObject* positions, PyObject* name);

/* ---- cursor.c, filters.c ---- */

extern PyTypeObject CursorType;
PyObject* cursor_open(TableObject* table, PyObject* args, PyObject* kwargs);
/* The fpta_filter tree of a comparison tree as morvane._filters flattens it:
 * ("cmp", op, field, value), ("and", a, b), ("or", a, b), ("not", a).
 * *nodes is a PyMem block the caller frees; keep collects the objects the
 * values point into. 0 or -1. */
int filter_build(TableObject* table, PyObject* spec, fpta_filter** root, fpta_filter** nodes,
                 PyObject* keep);

#endif /* MORVANE_CORE_H */
