/* The data-file workloads on an SQLite database, for comparison with our runtime's files.
 *
 * Usage: sqlite_bench WORKLOAD [DATABASE [CACHE_KIB]]   (default database: bench.db)
 *   WORKLOAD is write, readseq, readrec, kcreate, kread, kseq or krewrite; CACHE_KIB, when given,
 *   sets the page cache to that many KiB instead of the default (about 2 MB).
 *
 *   write    creates the table afresh and inserts the 200,000 records in one transaction,
 *            through one prepared INSERT that is reset and rebound for every row;
 *   readseq  reads every row through one prepared full scan in rowid order, summing the amounts;
 *   readrec  reads 200,000 rows by rowid in the order of the shared pseudo-random sequence,
 *            through one prepared SELECT ... WHERE rowid=? that is reset and rebound.
 *
 * The keyed workloads use the table krec, whose primary key is the 10-character key:
 *   kcreate  creates krec afresh and inserts the 200,000 records in one transaction through one
 *            prepared INSERT, in a scattered key order: for J = 0..199999, record
 *            I = (J * 7919) mod 200000 + 1 (7919 is prime and does not divide 200000, so every
 *            record is inserted once);
 *   kread    reads 200,000 rows by key, key "1000000000"+I for the records of the shared
 *            pseudo-random sequence, through one prepared SELECT ... WHERE key=?;
 *   kseq     reads every row in key order through one prepared SELECT ... ORDER BY key;
 *   krewrite reads every row in key order as kseq does and, in one transaction, updates each
 *            through one prepared UPDATE ... WHERE key=?, turning the first letter of its name
 *            from upper to lower case or back (a change of a non-key field that leaves the row's
 *            size as it was and the amounts intact, so every pass has the same checksum).
 * krec is a WITHOUT ROWID table: its rows live in the primary key's b-tree, so a key lookup is
 * one b-tree search and an insert writes one b-tree.  With a rowid table the TEXT PRIMARY KEY
 * would be a separate index, searched before the table and written beside it.  Rows of about
 * 60 bytes are well within the size such tables suit.
 *
 * The last line of output is the checksum: the number of rows written, or the sum of the amounts
 * read (krewrite: the sum of the amounts of the rows it read and updated).
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
#define KEYED_STEP 7919

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

/* Sums the amounts of every row a scan returns (the key and name fetched as a reader of the
 * records would, not skipped), and prints the sum. */
static void sum_scan(const char *sql, const char *what) {
  sqlite3_stmt *sel = prepare(sql);
  int64_t sum = 0;
  size_t chars = 0;
  int rc;
  while ((rc = sqlite3_step(sel)) == SQLITE_ROW) {
    chars += (size_t)sqlite3_column_bytes(sel, 0) + (size_t)sqlite3_column_bytes(sel, 1);
    (void)sqlite3_column_text(sel, 0);
    (void)sqlite3_column_text(sel, 1);
    sum += sqlite3_column_int64(sel, 2) + sqlite3_column_int64(sel, 3);
  }
  if (rc != SQLITE_DONE) die(what);
  sqlite3_finalize(sel);
  if (chars == 0) die("empty table");
  printf("%lld\n", (long long)sum);
}

static void read_sequential(void) {
  sum_scan("SELECT key, name, amount1, amount2 FROM rec ORDER BY id", "scan");
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

static void keyed_create(void) {
  exec("DROP TABLE IF EXISTS krec");
  exec("CREATE TABLE krec (key TEXT PRIMARY KEY NOT NULL, name TEXT NOT NULL,"
       " amount1 INTEGER NOT NULL, amount2 INTEGER NOT NULL) WITHOUT ROWID");
  exec("BEGIN");
  sqlite3_stmt *ins = prepare("INSERT INTO krec (key, name, amount1, amount2) VALUES (?,?,?,?)");
  char key[16], name[48];
  for (int j = 0; j < RECORDS; j++) {
    int i = (int)((int64_t)j * KEYED_STEP % RECORDS) + 1;
    int klen = snprintf(key, sizeof key, "%d", 1000000000 + i);
    int nlen = snprintf(name, sizeof name, "Name number %d", i);
    sqlite3_bind_text(ins, 1, key, klen, SQLITE_STATIC);
    sqlite3_bind_text(ins, 2, name, nlen, SQLITE_STATIC);
    sqlite3_bind_int(ins, 3, i % 1000);
    sqlite3_bind_int(ins, 4, i % 997);
    if (sqlite3_step(ins) != SQLITE_DONE) die("insert");
    sqlite3_reset(ins);
  }
  sqlite3_finalize(ins);
  exec("COMMIT");
  printf("%d\n", RECORDS);
}

static void keyed_read_random(void) {
  /* One read transaction for all the lookups: outside one, every statement would begin and end
   * its own, taking and dropping the database's locks (system calls) each time. */
  exec("BEGIN");
  sqlite3_stmt *sel = prepare("SELECT key, name, amount1, amount2 FROM krec WHERE key = ?");
  int64_t sum = 0, x = 1;
  char key[16];
  for (int i = 0; i < RECORDS; i++) {
    x = x * 16807 % 2147483647;
    int klen = snprintf(key, sizeof key, "%lld", (long long)(1000000000 + x % RECORDS + 1));
    sqlite3_bind_text(sel, 1, key, klen, SQLITE_STATIC);
    if (sqlite3_step(sel) != SQLITE_ROW) die("select by key");
    (void)sqlite3_column_text(sel, 0);
    (void)sqlite3_column_text(sel, 1);
    sum += sqlite3_column_int64(sel, 2) + sqlite3_column_int64(sel, 3);
    sqlite3_reset(sel);
  }
  sqlite3_finalize(sel);
  exec("COMMIT");
  printf("%lld\n", (long long)sum);
}

static void keyed_read_sequential(void) {
  sum_scan("SELECT key, name, amount1, amount2 FROM krec ORDER BY key", "scan in key order");
}

static void keyed_rewrite(void) {
  /* A row is not updated while a scan of its table is open on the same connection (where such a
   * scan goes next is undefined; in practice it meets every updated row again), so the rows are
   * read in key order a batch at a time, each batch starting after the last key of the one
   * before, and the batch's rows are updated once its scan is reset. */
  enum { BATCH = 1000 };
  static struct {
    char key[16], name[48];
    int klen, nlen;
  } rows[BATCH];
  exec("BEGIN");
  sqlite3_stmt *sel = prepare("SELECT key, name, amount1, amount2 FROM krec WHERE key > ?"
                              " ORDER BY key LIMIT 1000");
  sqlite3_stmt *upd = prepare("UPDATE krec SET name = ? WHERE key = ?");
  int64_t sum = 0, total = 0;
  char last[16] = "";
  int lastlen = 0, n;
  do {
    sqlite3_bind_text(sel, 1, last, lastlen, SQLITE_TRANSIENT);
    int rc;
    n = 0;
    while (n < BATCH && (rc = sqlite3_step(sel)) == SQLITE_ROW) {
      int klen = sqlite3_column_bytes(sel, 0), nlen = sqlite3_column_bytes(sel, 1);
      if (klen >= (int)sizeof rows[n].key || nlen >= (int)sizeof rows[n].name || nlen == 0)
        die("row too long");
      memcpy(rows[n].key, sqlite3_column_text(sel, 0), (size_t)klen);
      memcpy(rows[n].name, sqlite3_column_text(sel, 1), (size_t)nlen);
      rows[n].klen = klen;
      rows[n].nlen = nlen;
      sum += sqlite3_column_int64(sel, 2) + sqlite3_column_int64(sel, 3);
      n++;
    }
    if (n < BATCH && rc != SQLITE_DONE) die("scan in key order");
    sqlite3_reset(sel);
    for (int k = 0; k < n; k++) {
      rows[k].name[0] = rows[k].name[0] == 'N' ? 'n' : 'N';
      sqlite3_bind_text(upd, 1, rows[k].name, rows[k].nlen, SQLITE_STATIC);
      sqlite3_bind_text(upd, 2, rows[k].key, rows[k].klen, SQLITE_STATIC);
      if (sqlite3_step(upd) != SQLITE_DONE || sqlite3_changes(db) != 1) die("update by key");
      sqlite3_reset(upd);
    }
    if (n > 0) {
      memcpy(last, rows[n - 1].key, (size_t)rows[n - 1].klen);
      lastlen = rows[n - 1].klen;
    }
    total += n;
  } while (n == BATCH);
  sqlite3_finalize(upd);
  sqlite3_finalize(sel);
  exec("COMMIT");
  if (total != RECORDS) {
    fprintf(stderr, "sqlite_bench: %lld rows updated, not %d\n", (long long)total, RECORDS);
    exit(1);
  }
  printf("%lld\n", (long long)sum);
}

int main(int argc, char **argv) {
  if (argc < 2 || argc > 4) {
    fprintf(stderr, "usage: %s write|readseq|readrec|kcreate|kread|kseq|krewrite"
            " [DATABASE [CACHE_KIB]]\n", argv[0]);
    return 2;
  }
  const char *path = argc >= 3 ? argv[2] : "bench.db";
  if (sqlite3_open(path, &db) != SQLITE_OK) die(path);
  exec("PRAGMA journal_mode=WAL");
  exec("PRAGMA synchronous=NORMAL");
  if (argc == 4) {
    char *end;
    long kib = strtol(argv[3], &end, 10);
    if (*end != '\0' || kib <= 0) {
      fprintf(stderr, "%s: the cache size '%s' is not a number of KiB\n", argv[0], argv[3]);
      return 2;
    }
    char sql[64];
    snprintf(sql, sizeof sql, "PRAGMA cache_size=-%ld", kib);
    exec(sql);
  }
  if (strcmp(argv[1], "write") == 0)
    write_all();
  else if (strcmp(argv[1], "readseq") == 0)
    read_sequential();
  else if (strcmp(argv[1], "readrec") == 0)
    read_random();
  else if (strcmp(argv[1], "kcreate") == 0)
    keyed_create();
  else if (strcmp(argv[1], "kread") == 0)
    keyed_read_random();
  else if (strcmp(argv[1], "kseq") == 0)
    keyed_read_sequential();
  else if (strcmp(argv[1], "krewrite") == 0)
    keyed_rewrite();
  else {
    fprintf(stderr, "%s: unknown workload '%s'\n", argv[0], argv[1]);
    return 2;
  }
  if (sqlite3_close(db) != SQLITE_OK) die("close");
  return 0;
}
