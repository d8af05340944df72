/* Cursors over a table through one of its indexes. */

int fpta_cursor_open(fpta_txn *txn, fpta_name *column_id,
                     fpta_value range_from, fpta_value range_to,
                     const fpta_filter *filter, fpta_cursor_options op,
                     fpta_cursor **cursor);
int fpta_cursor_close(fpta_cursor *cursor);
int fpta_cursor_move(fpta_cursor *cursor, fpta_seek_operations op);
int fpta_cursor_eof(fpta_cursor *cursor);
int fpta_cursor_get(fpta_cursor *cursor, fptu_ro *row);
int fpta_cursor_update(fpta_cursor *cursor, fptu_ro new_row_value);
int fpta_cursor_delete(fpta_cursor *cursor);
int fpta_cursor_count(fpta_cursor *cursor, size_t *count, size_t limit);
