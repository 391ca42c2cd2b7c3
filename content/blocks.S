/* The two embedded blocks, each a counted block in read-only data: 32-bit 1
   (one dimension), 32-bit byte count, then the file's bytes. The build gives
   the file paths as QM_NOTES_FILE and QM_PAYLOAD_FILE (quoted strings). The
   symbol names carry no C underscore; embedded.cpp names them exactly. */
#if defined(_WIN32)
  .section .rdata,"dr"
#define QM_SYMBOL(name) .globl name
#else
  .section .rodata
#define QM_SYMBOL(name) .globl name; .hidden name; .type name, @object
#endif

  .balign 4
  QM_SYMBOL(qm_release_notes_block)
qm_release_notes_block:
  .long 1
  .long 2f - 1f
1:
  .incbin QM_NOTES_FILE
2:

  .balign 4
  QM_SYMBOL(qm_payload_archive_block)
qm_payload_archive_block:
  .long 1
  .long 2f - 1f
1:
  .incbin QM_PAYLOAD_FILE
2:

#if !defined(_WIN32)
  .section .note.GNU-stack,"",@progbits
#endif
