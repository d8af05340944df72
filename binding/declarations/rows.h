/* Writing, reading and deleting rows, and the columns of a row. */

int fpta_put(fpta_txn *txn, fpta_name *table_id, fptu_ro row,
             fpta_put_options op);
/* fpta_put with fpta_insert. */
int fpta_insert_row(fpta_txn *txn, fpta_name *table_id, fptu_ro row);
int fpta_validate_put(fpta_txn *txn, fpta_name *table_id, fptu_ro row_value,
                      fpta_put_options op);
int fpta_delete(fpta_txn *txn, fpta_name *table_id, fptu_ro row_value);
int fpta_get(fpta_txn *txn, fpta_name *column_id,
             const fpta_value *column_value, fptu_ro *row);

int fpta_get_column(fptu_ro row_value, const fpta_name *column_id,
                    fpta_value *value);
int fpta_get_column2buffer(fptu_ro row, const fpta_name *column_id,
                           fpta_value *value, void *buffer,
                           size_t buffer_length);
int fpta_upsert_column(fptu_rw *pt, const fpta_name *column_id,
                       fpta_value value);
/* The value of the tuple field at the given address. */
fpta_value fpta_field2value(const void *field);
