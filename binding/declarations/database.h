/* Opening and closing a database, transactions, and the text of a status
 * code. Every int result is a status code of enum fpta_error, never raised. */

int fpta_db_open(const char *path, fpta_durability durability,
                 fpta_regime_flags regime_flags, mode_t file_mode,
                 size_t megabytes, _Bool alterable_schema, fpta_db **db);
int fpta_db_close(fpta_db *db);

int fpta_transaction_begin(fpta_db *db, fpta_level level, fpta_txn **txn);
int fpta_transaction_end(fpta_txn *txn, _Bool abort);

/* Returned as a pointer object: reading the text is left to the caller. */
const char *fpta_strerror(int errnum);
