/* SQLite's side of the INDEX benchmark: the same records in a table, indexed by their key.
 *
 * Usage: sqlite_index load DATABASE RECORDS   creates table t afresh and inserts the records in
 *                                             one transaction through one prepared INSERT
 *        sqlite_index drop DATABASE           drops the index (untimed preparation)
 *        sqlite_index index DATABASE CACHE_KIB creates the index on the key in one transaction,
 *                                             with the page cache (which bounds the sorter's
 *                                             memory) set to CACHE_KIB, and prints the rows
 *
 * Record J (J = 0..RECORDS-1) is record I = (J * 7919) mod RECORDS + 1: key "1000000000"+I (10
 * characters), group "G" and (I * 31) mod 1000 in 5 digits, name "Name number I" padded to 48.
 * Settings: journal_mode=WAL, synchronous=NORMAL.
 */
#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static sqlite3 *db;

static void die(const char *what) {
  fprintf(stderr, "sqlite_index: %s: %s\n", what, sqlite3_errmsg(db));
  exit(1);
}

static void exec(const char *sql) {
  char *msg = NULL;
  if (sqlite3_exec(db, sql, NULL, NULL, &msg) != SQLITE_OK) {
    fprintf(stderr, "sqlite_index: %s: %s\n", sql, msg ? msg : "?");
    exit(1);
  }
}

static void load(long records) {
  exec("DROP TABLE IF EXISTS t");
  exec("CREATE TABLE t(key TEXT, grp TEXT, name TEXT)");
  sqlite3_stmt *insert;
  if (sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?,?,?)", -1, &insert, NULL) != SQLITE_OK)
    die("prepare");
  exec("BEGIN");
  for (long j = 0; j < records; ++j) {
    const long i = (j * 7919) % records + 1;
    char key[24], grp[24], name[80];
    snprintf(key, sizeof key, "%ld", 1000000000 + i);
    snprintf(grp, sizeof grp, "G%05ld", (i * 31) % 1000);
    snprintf(name, sizeof name, "Name number %-36ld", i);
    sqlite3_bind_text(insert, 1, key, 10, SQLITE_STATIC);
    sqlite3_bind_text(insert, 2, grp, 6, SQLITE_STATIC);
    sqlite3_bind_text(insert, 3, name, 48, SQLITE_STATIC);
    if (sqlite3_step(insert) != SQLITE_DONE) die("insert");
    sqlite3_reset(insert);
  }
  exec("COMMIT");
  printf("%ld\n", records);
}

static void index_rows(long cacheKib) {
  char pragma[64];
  snprintf(pragma, sizeof pragma, "PRAGMA cache_size=-%ld", cacheKib);
  exec(pragma);
  exec("BEGIN");
  exec("CREATE INDEX tkey ON t(key)");
  exec("COMMIT");
  sqlite3_stmt *count;
  if (sqlite3_prepare_v2(db, "SELECT count(*) FROM t INDEXED BY tkey WHERE key >= ''", -1, &count,
                         NULL) != SQLITE_OK)
    die("prepare");
  if (sqlite3_step(count) != SQLITE_ROW) die("count");
  printf("%lld\n", (long long)sqlite3_column_int64(count, 0));
  sqlite3_finalize(count);
}

int main(int argc, char **argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: sqlite_index load|drop|index DATABASE [N]\n");
    return 2;
  }
  if (sqlite3_open(argv[2], &db) != SQLITE_OK) die("open");
  exec("PRAGMA journal_mode=WAL");
  exec("PRAGMA synchronous=NORMAL");
  if (strcmp(argv[1], "load") == 0 && argc == 4)
    load(atol(argv[3]));
  else if (strcmp(argv[1], "drop") == 0)
    exec("DROP INDEX IF EXISTS tkey");
  else if (strcmp(argv[1], "index") == 0 && argc == 4)
    index_rows(atol(argv[3]));
  else
    return 2;
  sqlite3_close(db);
  return 0;
}
