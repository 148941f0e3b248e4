/* SQLite's side of the locked-update benchmark: one process's share of read-modify-write
 * updates of random rows of one table, each its own transaction in WAL mode.
 *
 * Usage: sqlite_update create DATABASE ROWS          the table t(k TEXT PRIMARY KEY, c INTEGER)
 *                                                    of ROWS rows with c = 0
 *        sqlite_update update DATABASE ROWS UPDATES SEED [FULL]
 *                                                    UPDATES times: BEGIN IMMEDIATE; SELECT c of
 *                                                    a random row; UPDATE it to c + 1; COMMIT
 *        sqlite_update sum DATABASE                  prints the sum of c
 *
 * Keys are "10000001".."1000000n" as 8 characters.  journal_mode=WAL, synchronous=NORMAL (FULL
 * when asked: every commit on the disk), a busy timeout of 60 s, the statements prepared once.
 */
#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static sqlite3 *db;

static void die(const char *what) {
  fprintf(stderr, "sqlite_update: %s: %s\n", what, sqlite3_errmsg(db));
  exit(1);
}

static void exec(const char *sql) {
  if (sqlite3_exec(db, sql, NULL, NULL, NULL) != SQLITE_OK) die(sql);
}

static sqlite3_stmt *prepare(const char *sql) {
  sqlite3_stmt *s;
  if (sqlite3_prepare_v2(db, sql, -1, &s, NULL) != SQLITE_OK) die(sql);
  return s;
}

int main(int argc, char **argv) {
  if (argc < 3) return 2;
  if (sqlite3_open(argv[2], &db) != SQLITE_OK) die("open");
  sqlite3_busy_timeout(db, 60000);
  exec("PRAGMA journal_mode=WAL");
  const int full = argc > 6 && strcmp(argv[6], "FULL") == 0;
  exec(full ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL");
  char key[24];
  if (strcmp(argv[1], "create") == 0 && argc >= 4) {
    const long rows = atol(argv[3]);
    exec("DROP TABLE IF EXISTS t");
    exec("CREATE TABLE t(k TEXT PRIMARY KEY, c INTEGER) WITHOUT ROWID");
    sqlite3_stmt *insert = prepare("INSERT INTO t VALUES(?, 0)");
    exec("BEGIN");
    for (long i = 1; i <= rows; ++i) {
      snprintf(key, sizeof key, "%ld", 10000000 + i);
      sqlite3_bind_text(insert, 1, key, -1, SQLITE_STATIC);
      if (sqlite3_step(insert) != SQLITE_DONE) die("insert");
      sqlite3_reset(insert);
    }
    exec("COMMIT");
  } else if (strcmp(argv[1], "update") == 0 && argc >= 6) {
    const long rows = atol(argv[3]), updates = atol(argv[4]);
    srand((unsigned)atol(argv[5]));
    sqlite3_stmt *begin = prepare("BEGIN IMMEDIATE"), *commit = prepare("COMMIT");
    sqlite3_stmt *select = prepare("SELECT c FROM t WHERE k = ?");
    sqlite3_stmt *update = prepare("UPDATE t SET c = ? WHERE k = ?");
    for (long u = 0; u < updates; ++u) {
      snprintf(key, sizeof key, "%ld", 10000001 + rand() % rows);
      if (sqlite3_step(begin) != SQLITE_DONE) die("begin");
      sqlite3_reset(begin);
      sqlite3_bind_text(select, 1, key, -1, SQLITE_STATIC);
      if (sqlite3_step(select) != SQLITE_ROW) die("select");
      const long c = sqlite3_column_int64(select, 0);
      sqlite3_reset(select);
      sqlite3_bind_int64(update, 1, c + 1);
      sqlite3_bind_text(update, 2, key, -1, SQLITE_STATIC);
      if (sqlite3_step(update) != SQLITE_DONE) die("update");
      sqlite3_reset(update);
      if (sqlite3_step(commit) != SQLITE_DONE) die("commit");
      sqlite3_reset(commit);
    }
  } else if (strcmp(argv[1], "sum") == 0) {
    sqlite3_stmt *sum = prepare("SELECT sum(c) FROM t");
    if (sqlite3_step(sum) != SQLITE_ROW) die("sum");
    printf("%lld\n", (long long)sqlite3_column_int64(sum, 0));
  } else {
    return 2;
  }
  sqlite3_close(db);
  return 0;
}
