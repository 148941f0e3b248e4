      *> The data-file workloads on COBOL files, for comparison with our
      *> runtime's files.
      *>
      *> Usage: cobol_bench write|readseq|writerel|readrec|kcreate|kread
      *>                    |kseq|krewrite
      *>   write     writes the 200,000 records to the sequential file
      *>             bench.seq;
      *>   readseq   reads bench.seq to its end, summing the amounts;
      *>   writerel  writes the same records to the relative file bench.rel
      *>             (slot I holds record I), for readrec;
      *>   readrec   reads 200,000 records of bench.rel by relative key in
      *>             the order of the shared pseudo-random sequence,
      *>             summing the amounts;
      *>   kcreate   creates the indexed file bench.idx, whose record key
      *>             is the 10-character key, writing the records in a
      *>             scattered key order: for J = 0..199999, record
      *>             I = (J * 7919) mod 200000 + 1 (7919 is prime and does
      *>             not divide 200000, so every record is written once);
      *>   kread     reads 200,000 records of bench.idx by key, key
      *>             "1000000000"+I for the records of the shared
      *>             pseudo-random sequence, summing the amounts;
      *>   kseq      reads bench.idx in key order (START at the lowest key,
      *>             then READ NEXT to the end), summing the amounts;
      *>   krewrite  reads bench.idx in key order as kseq does and
      *>             rewrites every record, the first letter of its name
      *>             turned from upper to lower case or back (a change of
      *>             a non-key field that leaves the amounts intact, so
      *>             every pass has the same checksum).
      *> The last line of output is the checksum: the number of records
      *> written, or the sum of the amounts read.
      *>
      *> Record I (1..200000), 64 bytes: key "1000000000"+I, name
      *> "Name number I", amount1 = I mod 1000 (packed decimal, 8 bytes),
      *> amount2 = I mod 997 (zoned decimal, 12 bytes).
       IDENTIFICATION DIVISION.
       PROGRAM-ID. COBOL-BENCH.

       ENVIRONMENT DIVISION.
       INPUT-OUTPUT SECTION.
       FILE-CONTROL.
           SELECT SEQ-FILE ASSIGN TO "bench.seq"
               ORGANIZATION IS SEQUENTIAL
               ACCESS MODE IS SEQUENTIAL
               FILE STATUS IS WS-SEQ-STATUS.
           SELECT REL-FILE ASSIGN TO "bench.rel"
               ORGANIZATION IS RELATIVE
               ACCESS MODE IS DYNAMIC
               RELATIVE KEY IS WS-REL-KEY
               FILE STATUS IS WS-REL-STATUS.
           SELECT IDX-FILE ASSIGN TO "bench.idx"
               ORGANIZATION IS INDEXED
               ACCESS MODE IS DYNAMIC
               RECORD KEY IS IDX-KEY
               FILE STATUS IS WS-IDX-STATUS.

       DATA DIVISION.
       FILE SECTION.
       FD  SEQ-FILE
           RECORD CONTAINS 64 CHARACTERS.
       01  SEQ-REC.
           05  SEQ-KEY          PIC X(10).
           05  SEQ-NAME         PIC X(34).
           05  SEQ-AMOUNT1      PIC S9(13)V99 PACKED-DECIMAL.
           05  SEQ-AMOUNT2      PIC 9(10)V99.
       FD  REL-FILE
           RECORD CONTAINS 64 CHARACTERS.
       01  REL-REC.
           05  REL-KEY          PIC X(10).
           05  REL-NAME         PIC X(34).
           05  REL-AMOUNT1      PIC S9(13)V99 PACKED-DECIMAL.
           05  REL-AMOUNT2      PIC 9(10)V99.
       FD  IDX-FILE
           RECORD CONTAINS 64 CHARACTERS.
       01  IDX-REC.
           05  IDX-KEY          PIC X(10).
           05  IDX-NAME         PIC X(34).
           05  IDX-AMOUNT1      PIC S9(13)V99 PACKED-DECIMAL.
           05  IDX-AMOUNT2      PIC 9(10)V99.

       WORKING-STORAGE SECTION.
       01  WS-MODE              PIC X(16).
       01  WS-SEQ-STATUS        PIC XX.
       01  WS-REL-STATUS        PIC XX.
       01  WS-IDX-STATUS        PIC XX.
       01  WS-J                 PIC 9(9) COMP-5.
       01  WS-REL-KEY           PIC 9(9) COMP-5.
       01  WS-RECORDS           PIC 9(9) COMP-5 VALUE 200000.
       01  WS-I                 PIC 9(9) COMP-5.
       01  WS-Q                 PIC 9(18) COMP-5.
       01  WS-X                 PIC 9(18) COMP-5.
       01  WS-T                 PIC 9(18) COMP-5.
       01  WS-SUM               PIC S9(16)V99 PACKED-DECIMAL VALUE 0.
       01  WS-KEY-NUM           PIC 9(10).
       01  WS-NUM-EDIT          PIC Z(5)9.
       01  WS-NUM-START         PIC 9(4) COMP-5.
       01  WS-OUT               PIC Z(17)9.
       01  WS-REC.
           05  WS-KEY           PIC X(10).
           05  WS-NAME          PIC X(34).
           05  WS-AMOUNT1       PIC S9(13)V99 PACKED-DECIMAL.
           05  WS-AMOUNT2       PIC 9(10)V99.

       PROCEDURE DIVISION.
       MAIN.
           ACCEPT WS-MODE FROM ARGUMENT-VALUE
           EVALUATE WS-MODE
               WHEN "write"    PERFORM WRITE-SEQUENTIAL
               WHEN "readseq"  PERFORM READ-SEQUENTIAL
               WHEN "writerel" PERFORM WRITE-RELATIVE
               WHEN "readrec"  PERFORM READ-RANDOM
               WHEN "kcreate"  PERFORM KEYED-CREATE
               WHEN "kread"    PERFORM KEYED-READ-RANDOM
               WHEN "kseq"     PERFORM KEYED-READ-SEQUENTIAL
               WHEN "krewrite" PERFORM KEYED-REWRITE
               WHEN OTHER
                   DISPLAY "usage: cobol_bench write|readseq|writerel"
                       "|readrec|kcreate|kread|kseq|krewrite"
                       UPON SYSERR
                   MOVE 2 TO RETURN-CODE
           END-EVALUATE
           STOP RUN.

      *> Builds record WS-I in WS-REC.
       BUILD-RECORD.
           COMPUTE WS-KEY-NUM = 1000000000 + WS-I
           MOVE WS-KEY-NUM TO WS-KEY
           MOVE WS-I TO WS-NUM-EDIT
           MOVE 1 TO WS-NUM-START
           INSPECT WS-NUM-EDIT TALLYING WS-NUM-START FOR LEADING SPACE
           MOVE SPACES TO WS-NAME
           STRING "Name number " DELIMITED BY SIZE
                  WS-NUM-EDIT(WS-NUM-START:) DELIMITED BY SIZE
               INTO WS-NAME
           DIVIDE WS-I BY 1000 GIVING WS-Q REMAINDER WS-AMOUNT1
           DIVIDE WS-I BY 997 GIVING WS-Q REMAINDER WS-AMOUNT2.

       WRITE-SEQUENTIAL.
           OPEN OUTPUT SEQ-FILE
           PERFORM CHECK-SEQ
           PERFORM VARYING WS-I FROM 1 BY 1 UNTIL WS-I > WS-RECORDS
               PERFORM BUILD-RECORD
               WRITE SEQ-REC FROM WS-REC
               PERFORM CHECK-SEQ
           END-PERFORM
           CLOSE SEQ-FILE
           MOVE WS-RECORDS TO WS-OUT
           DISPLAY FUNCTION TRIM(WS-OUT).

       READ-SEQUENTIAL.
           OPEN INPUT SEQ-FILE
           PERFORM CHECK-SEQ
           PERFORM UNTIL EXIT
               READ SEQ-FILE INTO WS-REC
                   AT END EXIT PERFORM
               END-READ
               PERFORM CHECK-SEQ
               ADD WS-AMOUNT1 WS-AMOUNT2 TO WS-SUM
           END-PERFORM
           CLOSE SEQ-FILE
           PERFORM SHOW-SUM.

       WRITE-RELATIVE.
           OPEN OUTPUT REL-FILE
           PERFORM CHECK-REL
           PERFORM VARYING WS-I FROM 1 BY 1 UNTIL WS-I > WS-RECORDS
               PERFORM BUILD-RECORD
               MOVE WS-I TO WS-REL-KEY
               WRITE REL-REC FROM WS-REC
                   INVALID KEY PERFORM FAIL-REL
               END-WRITE
           END-PERFORM
           CLOSE REL-FILE
           MOVE WS-RECORDS TO WS-OUT
           DISPLAY FUNCTION TRIM(WS-OUT).

      *> The shared sequence: x = x * 16807 mod (2^31 - 1), starting
      *> from 1; the record read is x mod 200000 + 1.
       READ-RANDOM.
           OPEN INPUT REL-FILE
           PERFORM CHECK-REL
           MOVE 1 TO WS-X
           PERFORM VARYING WS-I FROM 1 BY 1 UNTIL WS-I > WS-RECORDS
               MULTIPLY WS-X BY 16807 GIVING WS-T
               DIVIDE WS-T BY 2147483647 GIVING WS-Q REMAINDER WS-X
               DIVIDE WS-X BY WS-RECORDS GIVING WS-Q
                   REMAINDER WS-REL-KEY
               ADD 1 TO WS-REL-KEY
               READ REL-FILE INTO WS-REC
                   INVALID KEY PERFORM FAIL-REL
               END-READ
               ADD WS-AMOUNT1 WS-AMOUNT2 TO WS-SUM
           END-PERFORM
           CLOSE REL-FILE
           PERFORM SHOW-SUM.

       KEYED-CREATE.
           OPEN OUTPUT IDX-FILE
           PERFORM CHECK-IDX
           PERFORM VARYING WS-J FROM 0 BY 1 UNTIL WS-J >= WS-RECORDS
               MULTIPLY WS-J BY 7919 GIVING WS-T
               DIVIDE WS-T BY WS-RECORDS GIVING WS-Q REMAINDER WS-I
               ADD 1 TO WS-I
               PERFORM BUILD-RECORD
               WRITE IDX-REC FROM WS-REC
                   INVALID KEY PERFORM FAIL-IDX
               END-WRITE
           END-PERFORM
           CLOSE IDX-FILE
           MOVE WS-RECORDS TO WS-OUT
           DISPLAY FUNCTION TRIM(WS-OUT).

      *> The records of the shared sequence, as in READ-RANDOM, read by
      *> their key.
       KEYED-READ-RANDOM.
           OPEN INPUT IDX-FILE
           PERFORM CHECK-IDX
           MOVE 1 TO WS-X
           PERFORM VARYING WS-I FROM 1 BY 1 UNTIL WS-I > WS-RECORDS
               MULTIPLY WS-X BY 16807 GIVING WS-T
               DIVIDE WS-T BY 2147483647 GIVING WS-Q REMAINDER WS-X
               DIVIDE WS-X BY WS-RECORDS GIVING WS-Q REMAINDER WS-T
               COMPUTE WS-KEY-NUM = 1000000001 + WS-T
               MOVE WS-KEY-NUM TO IDX-KEY
               READ IDX-FILE INTO WS-REC KEY IS IDX-KEY
                   INVALID KEY PERFORM FAIL-IDX
               END-READ
               ADD WS-AMOUNT1 WS-AMOUNT2 TO WS-SUM
           END-PERFORM
           CLOSE IDX-FILE
           PERFORM SHOW-SUM.

       KEYED-READ-SEQUENTIAL.
           OPEN INPUT IDX-FILE
           PERFORM CHECK-IDX
           MOVE LOW-VALUES TO IDX-KEY
           START IDX-FILE KEY IS NOT LESS THAN IDX-KEY
               INVALID KEY PERFORM FAIL-IDX
           END-START
           PERFORM UNTIL EXIT
               READ IDX-FILE NEXT RECORD INTO WS-REC
                   AT END EXIT PERFORM
               END-READ
               PERFORM CHECK-IDX
               ADD WS-AMOUNT1 WS-AMOUNT2 TO WS-SUM
           END-PERFORM
           CLOSE IDX-FILE
           PERFORM SHOW-SUM.

       KEYED-REWRITE.
           OPEN I-O IDX-FILE
           PERFORM CHECK-IDX
           MOVE LOW-VALUES TO IDX-KEY
           START IDX-FILE KEY IS NOT LESS THAN IDX-KEY
               INVALID KEY PERFORM FAIL-IDX
           END-START
           MOVE 0 TO WS-J
           PERFORM UNTIL EXIT
               READ IDX-FILE NEXT RECORD INTO WS-REC
                   AT END EXIT PERFORM
               END-READ
               PERFORM CHECK-IDX
               ADD WS-AMOUNT1 WS-AMOUNT2 TO WS-SUM
               IF WS-NAME(1:1) = "N"
                   MOVE "n" TO WS-NAME(1:1)
               ELSE
                   MOVE "N" TO WS-NAME(1:1)
               END-IF
               REWRITE IDX-REC FROM WS-REC
                   INVALID KEY PERFORM FAIL-IDX
               END-REWRITE
               ADD 1 TO WS-J
           END-PERFORM
           CLOSE IDX-FILE
           IF WS-J NOT = WS-RECORDS
               DISPLAY "bench.idx: " WS-J " records rewritten"
                   UPON SYSERR
               MOVE 1 TO RETURN-CODE
               STOP RUN
           END-IF
           PERFORM SHOW-SUM.

       SHOW-SUM.
           MOVE WS-SUM TO WS-OUT
           DISPLAY FUNCTION TRIM(WS-OUT).

       CHECK-SEQ.
           IF WS-SEQ-STATUS NOT = "00"
               DISPLAY "bench.seq: file status " WS-SEQ-STATUS
                   UPON SYSERR
               MOVE 1 TO RETURN-CODE
               STOP RUN
           END-IF.

       CHECK-REL.
           IF WS-REL-STATUS NOT = "00"
               PERFORM FAIL-REL
           END-IF.

       FAIL-REL.
           DISPLAY "bench.rel: file status " WS-REL-STATUS
               " at record " WS-REL-KEY UPON SYSERR
           MOVE 1 TO RETURN-CODE
           STOP RUN.

       CHECK-IDX.
           IF WS-IDX-STATUS NOT = "00"
               PERFORM FAIL-IDX
           END-IF.

       FAIL-IDX.
           DISPLAY "bench.idx: file status " WS-IDX-STATUS
               " at key " IDX-KEY UPON SYSERR
           MOVE 1 TO RETURN-CODE
           STOP RUN.
