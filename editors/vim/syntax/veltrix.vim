" Vim syntax file for Veltrix! BASIC programs (.vxb, the text form LOAD and MERGE read):
" line numbers, labels, statement and clause keywords, built-in and user functions, strings,
" numbers and the two kinds of comment ("!" to the end of the line, and REM statements).
if exists("b:current_syntax")
  finish
endif
syntax case ignore
setlocal iskeyword=@,48-57,_,$

syntax region veltrixString start=+"+ skip=+""+ end=+"+ end=+$+ oneline
syntax region veltrixString start=+'+ skip=+''+ end=+'+ end=+$+ oneline
syntax match veltrixComment "!.*$"
syntax match veltrixRemark "\(^\s*\d\+\s\+\|\\\s*\)\@<=\<rem\>.*$"
syntax match veltrixNumber "\<\d\+\.\=\d*\(e[-+]\=\d\+\)\=\>"
syntax match veltrixNumber "\.\d\+\(e[-+]\=\d\+\)\="
" After the numbers: the line number at the start wins over a number there.
syntax match veltrixLineNumber "^\s*\d\+"
syntax match veltrixLabel "\(^\s*\d\+\s\+\)\@<=\h\w*\ze:\(=\)\@!"
syntax match veltrixUserFunction "\<fn\w\+\$\="
syntax match veltrixClause "\<\(key>\==\|search>\==\|pos=\|rec=\|wait=\)"
syntax match veltrixSeparator "\\"
syntax keyword veltrixControl GOTO GOSUB RETURN IF THEN ELSE FOR TO STEP NEXT DO LOOP WHILE
syntax keyword veltrixControl UNTIL EXIT ON END STOP SELECT CASE CONTINUE RETRY CHAIN SYSTEM
syntax keyword veltrixControl PAUSE FNEND DEF BREAK
syntax keyword veltrixStatement CALL CLOSE DATA DELETE DIM DISPLAY EXECUTE FORM IGNORE INPUT LET
syntax keyword veltrixStatement LIBRARY LINPUT MAT OPEN OPTION PRINT RANDOMIZE READ RELEASE
syntax keyword veltrixStatement REREAD RESERVE RESTORE REWRITE RINPUT TRACE USE WRITE
syntax keyword veltrixClause ALTERNATE ATTN ATTR BASE BORDER BUTTONS COLLATE CONV DROP DUPREC
syntax keyword veltrixClause EBCIDIC EOF ERROR EVENT EXTERNAL FIELDS FILES FNKEY FREE HELP
syntax keyword veltrixClause INTERNAL INVP IOERR KEYED LOCKED MENU NATIVE NOKEY NONE NOREC OFF
syntax keyword veltrixClause OFLOW OUTIN OUTPUT PAGEOFLOW PRTZO RD RELATIVE RETAIN SEQUENTIAL
syntax keyword veltrixClause SOFLOW STATUS TEXT TIMEOUT USING ZDIV
syntax keyword veltrixOperator and or not
syntax keyword veltrixFunction CFIELDS$ CFORM$ CHR$ CHYRON$ CNVRT$ CONFIG$ DATE$ ENV$ FILE$
syntax keyword veltrixFunction HELP$ HEX$ KSTAT$ KTPLATFORM$ KTVERSION$ LINEBUFFER$ LINESTATUS$
syntax keyword veltrixFunction LOGIN_NAME$ LPAD$ LTRM$ LWRC$ MAX$ MENU$ MIN$ MSG$ OS_FILENAME$
syntax keyword veltrixFunction PIC$ PROGRAM$ RPAD$ RPT$ RTRM$ SESSION$ SREP$ STR$ SYSERR$ TIME$
syntax keyword veltrixFunction TRIM$ UNHEX$ UPRC$ UPSI$ USERID$ VARIABLE$ VX_FILENAME$ WSID$
syntax keyword veltrixFunction XLATE$ XPOS$
syntax keyword veltrixFunction ATN BELL CALL CEIL CMDKEY CNT CODE COS CURCOL CURFLD CURROW
syntax keyword veltrixFunction CURTAB DATE DAYS DEG DLL ERR EXISTS EXP FILE FILENUM FKEY FP
syntax keyword veltrixFunction FREESP INF IP KLN KPS KREC LEN LINE LINES LINESPP LOG LREC MAX
syntax keyword veltrixFunction MENU MIN MOD MSG MSGBOX NEWPAGE NXTFLD ORD PI POS PRINTER_LIST
syntax keyword veltrixFunction PROCIN PROCLVL RAD REC RLN RND ROUND SCR_FREEZE SCR_THAW
syntax keyword veltrixFunction SETENV SHIFT SIN SLEEP SQR SRCH SUM SYSERR TAN TIMER TRUNC UDIM
syntax keyword veltrixFunction VAL VERSION

highlight default link veltrixLineNumber LineNr
highlight default link veltrixLabel Label
highlight default link veltrixString String
highlight default link veltrixComment Comment
highlight default link veltrixRemark Comment
highlight default link veltrixNumber Number
highlight default link veltrixUserFunction Function
highlight default link veltrixFunction Function
highlight default link veltrixControl Conditional
highlight default link veltrixStatement Statement
highlight default link veltrixClause Keyword
highlight default link veltrixOperator Operator
highlight default link veltrixSeparator Delimiter

let b:current_syntax = "veltrix"
