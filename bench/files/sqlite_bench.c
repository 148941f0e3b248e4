/* The data-file workloads on an SQLite database, for comparison with our runtime's files.
 *
 * Usage: sqlite_bench write|readseq|readrec [DATABASE]   (default database: bench.db)
 *
 *   write    creates the table afresh and inserts the 200,000 records in one transaction,
 *            through one prepared INSERT that is reset and rebound for every row;
 *   readseq  reads every row through one prepared full scan in rowid order, summing the amounts;
 *   readrec  reads 200,000 rows by rowid in the order of the shared pseudo-random sequence,
 *            through one prepared SELECT ... WHERE rowid=? that is reset and rebound.
 *
 * The last line of output is the checksum: the number of rows written, or the sum of the amounts.
 *
 * Record I (1..200000): key "1000000000"+I as 10 characters, name "Name number I",
 * amount1 = I mod 1000, amount2 = I mod 997.
 *
 * Settings: journal_mode=WAL and synchronous=NORMAL, the usual fast-but-safe pair (a committed
 * transaction can be lost on power failure, the database cannot be corrupted); the page cache
 * is left at its default size.
 */
#include <sqlite3.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define RECORDS 200000

static sqlite3 *db;

static void die(const char *what) {
  fprintf(stderr, "sqlite_bench: %s: %s\n", what, sqlite3_errmsg(db));
  exit(1);
}

static void exec(const char *sql) {
  char *msg = NULL;
  if (sqlite3_exec(db, sql, NULL, NULL, &msg) != SQLITE_OK) {
    fprintf(stderr, "sqlite_bench: %s: %s\n", sql, msg ? msg : "?");
    exit(1);
  }
}

static sqlite3_stmt *prepare(const char *sql) {
  sqlite3_stmt *st;
  if (sqlite3_prepare_v2(db, sql, -1, &st, NULL) != SQLITE_OK) die(sql);
  return st;
}

static void write_all(void) {
  exec("DROP TABLE IF EXISTS rec");
  exec("CREATE TABLE rec (id INTEGER PRIMARY KEY, key TEXT NOT NULL, name TEXT NOT NULL,"
       " amount1 INTEGER NOT NULL, amount2 INTEGER NOT NULL)");
  exec("BEGIN");
  sqlite3_stmt *ins = prepare("INSERT INTO rec (id, key, name, amount1, amount2) VALUES (?,?,?,?,?)");
  char key[16], name[48];
  for (int i = 1; i <= RECORDS; i++) {
    int klen = snprintf(key, sizeof key, "%d", 1000000000 + i);
    int nlen = snprintf(name, sizeof name, "Name number %d", i);
    sqlite3_bind_int(ins, 1, i);
    sqlite3_bind_text(ins, 2, key, klen, SQLITE_STATIC);
    sqlite3_bind_text(ins, 3, name, nlen, SQLITE_STATIC);
    sqlite3_bind_int(ins, 4, i % 1000);
    sqlite3_bind_int(ins, 5, i % 997);
    if (sqlite3_step(ins) != SQLITE_DONE) die("insert");
    sqlite3_reset(ins);
  }
  sqlite3_finalize(ins);
  exec("COMMIT");
  printf("%d\n", RECORDS);
}

static void read_sequential(void) {
  sqlite3_stmt *sel = prepare("SELECT key, name, amount1, amount2 FROM rec ORDER BY id");
  int64_t sum = 0;
  size_t chars = 0;
  int rc;
  while ((rc = sqlite3_step(sel)) == SQLITE_ROW) {
    /* The key and name are fetched as a reader of the records would, not skipped. */
    chars += (size_t)sqlite3_column_bytes(sel, 0) + (size_t)sqlite3_column_bytes(sel, 1);
    (void)sqlite3_column_text(sel, 0);
    (void)sqlite3_column_text(sel, 1);
    sum += sqlite3_column_int64(sel, 2) + sqlite3_column_int64(sel, 3);
  }
  if (rc != SQLITE_DONE) die("scan");
  sqlite3_finalize(sel);
  if (chars == 0) die("empty table");
  printf("%lld\n", (long long)sum);
}

static void read_random(void) {
  sqlite3_stmt *sel = prepare("SELECT key, name, amount1, amount2 FROM rec WHERE id = ?");
  int64_t sum = 0, x = 1;
  for (int i = 0; i < RECORDS; i++) {
    /* The shared sequence: x = x * 16807 mod (2^31 - 1), record x mod 200000 + 1. */
    x = x * 16807 % 2147483647;
    sqlite3_bind_int64(sel, 1, x % RECORDS + 1);
    if (sqlite3_step(sel) != SQLITE_ROW) die("select by rowid");
    (void)sqlite3_column_text(sel, 0);
    (void)sqlite3_column_text(sel, 1);
    sum += sqlite3_column_int64(sel, 2) + sqlite3_column_int64(sel, 3);
    sqlite3_reset(sel);
  }
  sqlite3_finalize(sel);
  printf("%lld\n", (long long)sum);
}

int main(int argc, char **argv) {
  if (argc < 2 || argc > 3) {
    fprintf(stderr, "usage: %s write|readseq|readrec [DATABASE]\n", argv[0]);
    return 2;
  }
  const char *path = argc == 3 ? argv[2] : "bench.db";
  if (sqlite3_open(path, &db) != SQLITE_OK) die(path);
  exec("PRAGMA journal_mode=WAL");
  exec("PRAGMA synchronous=NORMAL");
  if (strcmp(argv[1], "write") == 0)
    write_all();
  else if (strcmp(argv[1], "readseq") == 0)
    read_sequential();
  else if (strcmp(argv[1], "readrec") == 0)
    read_random();
  else {
    fprintf(stderr, "%s: unknown workload '%s'\n", argv[0], argv[1]);
    return 2;
  }
  if (sqlite3_close(db) != SQLITE_OK) die("close");
  return 0;
}
