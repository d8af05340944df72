/* Describing and managing tables, and the identifiers of tables and columns. */

int fpta_column_describe(const char *column_name, fptu_type data_type,
                         fpta_index_type index_type,
                         fpta_column_set *column_set);
int fpta_describe_composite_index(const char *composite_name,
                                  fpta_index_type index_type,
                                  fpta_column_set *column_set,
                                  const char **column_names_array,
                                  size_t column_names_count);
/* Variadic, so it cannot be wrapped: Python gets the function's address and
 * calls it through the backend. */
static int (*const fpta_describe_composite_index_va)(
    const char *composite_name, fpta_index_type index_type,
    fpta_column_set *column_set, const char *first, const char *second,
    const char *third, ...);
void fpta_column_set_init(fpta_column_set *column_set);

int fpta_table_create(fpta_txn *txn, const char *table_name,
                      fpta_column_set *column_set);
int fpta_table_drop(fpta_txn *txn, const char *table_name);
int fpta_table_clear(fpta_txn *txn, fpta_name *table_id, _Bool reset_sequence);
int fpta_table_info(fpta_txn *txn, fpta_name *table_id, size_t *row_count,
                    fpta_table_stat *stat);
int fpta_table_sequence(fpta_txn *txn, fpta_name *table_id, uint64_t *result,
                        uint64_t increment);

int fpta_table_init(fpta_name *table_id, const char *name);
int fpta_column_init(const fpta_name *table_id, fpta_name *column_id,
                     const char *name);
int fpta_name_refresh(fpta_txn *txn, fpta_name *name_id);
int fpta_name_refresh_couple(fpta_txn *txn, fpta_name *table_id,
                             fpta_name *column_id);
void fpta_name_destroy(fpta_name *id);
