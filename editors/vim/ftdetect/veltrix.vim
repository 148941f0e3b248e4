" Veltrix! BASIC program sources (the text form LOAD and MERGE read).
autocmd BufRead,BufNewFile *.vxb setfiletype veltrix
