/* Building tuples field by field, and tuple memory. */

int fptu_insert_uint16(fptu_rw *pt, unsigned column, unsigned value);
int fptu_insert_uint32(fptu_rw *pt, unsigned column, uint32_t value);
int fptu_insert_uint64(fptu_rw *pt, unsigned column, uint64_t value);
int fptu_insert_int32(fptu_rw *pt, unsigned column, int32_t value);
int fptu_insert_int64(fptu_rw *pt, unsigned column, int64_t value);
int fptu_insert_fp32(fptu_rw *pt, unsigned column, float value);
int fptu_insert_fp64(fptu_rw *pt, unsigned column, double value);
int fptu_insert_datetime(fptu_rw *pt, unsigned column, fptu_time value);
int fptu_insert_96(fptu_rw *pt, unsigned column, const void *data);
int fptu_insert_128(fptu_rw *pt, unsigned column, const void *data);
int fptu_insert_160(fptu_rw *pt, unsigned column, const void *data);
int fptu_insert_256(fptu_rw *pt, unsigned column, const void *data);
int fptu_insert_string(fptu_rw *pt, unsigned column, const char *text,
                       size_t length);
int fptu_insert_opaque(fptu_rw *pt, unsigned column, const void *value,
                       size_t bytes);
int fptu_insert_opaque_iov(fptu_rw *pt, unsigned column,
                           const struct iovec value);
int fptu_insert_nested(fptu_rw *pt, unsigned column, fptu_ro ro);

/* Null has no insert form. */
int fptu_upsert_null(fptu_rw *pt, unsigned column);
int fptu_upsert_uint16(fptu_rw *pt, unsigned column, uint_fast16_t value);
int fptu_upsert_uint32(fptu_rw *pt, unsigned column, uint_fast32_t value);
int fptu_upsert_uint64(fptu_rw *pt, unsigned column, uint_fast64_t value);
int fptu_upsert_int32(fptu_rw *pt, unsigned column, int_fast32_t value);
int fptu_upsert_int64(fptu_rw *pt, unsigned column, int_fast64_t value);
int fptu_upsert_fp32(fptu_rw *pt, unsigned column, float value);
int fptu_upsert_fp64(fptu_rw *pt, unsigned column, double value);
int fptu_upsert_datetime(fptu_rw *pt, unsigned column, fptu_time value);
int fptu_upsert_96(fptu_rw *pt, unsigned column, const void *data);
int fptu_upsert_128(fptu_rw *pt, unsigned column, const void *data);
int fptu_upsert_160(fptu_rw *pt, unsigned column, const void *data);
int fptu_upsert_256(fptu_rw *pt, unsigned column, const void *data);
int fptu_upsert_string(fptu_rw *pt, unsigned column, const char *text,
                       size_t length);
int fptu_upsert_opaque(fptu_rw *pt, unsigned column, const void *value,
                       size_t bytes);
int fptu_upsert_opaque_iov(fptu_rw *pt, unsigned column,
                           const struct iovec value);
int fptu_upsert_nested(fptu_rw *pt, unsigned column, fptu_ro ro);

size_t fptu_space(size_t items, size_t data_bytes);
fptu_rw *fptu_alloc(size_t items_limit, size_t data_bytes);
fptu_rw *fptu_fetch(fptu_ro source, void *buffer, size_t buffer_bytes,
                    unsigned more_items);
/* The finished tuple, read-only, without giving back unused space. */
fptu_ro fptu_take_noshrink(fptu_rw *pt);
const char *fptu_check(const fptu_rw *pt);
void free(void *ptr);
