/* The flash partition: nk.nbx (the file named by NBX_FILE), then erased
   flash, so that the loader finds the image's length from its header. */
    .section .partition, "a"
    .balign 4
    .global partition_start, partition_end
partition_start:
    .incbin NBX_FILE
    .fill 4096, 1, 0xFF
partition_end:
