/*
 * Memory of QEMU's mps2-an385 board (Cortex-M3): the loader and the packed
 * image in the 4 MiB at 0 (the board's boot memory, standing in for flash),
 * the loader's data and stack in the 4 MiB at 0x20000000, the unpacked image
 * in the 16 MiB at 0x21000000.
 */
ENTRY(reset_handler)

MEMORY
{
    FLASH (rx)  : ORIGIN = 0x00000000, LENGTH = 4M
    SRAM  (rwx) : ORIGIN = 0x20000000, LENGTH = 4M
    PSRAM (rwx) : ORIGIN = 0x21000000, LENGTH = 16M
}

SECTIONS
{
    .text :
    {
        KEEP(*(.vectors))
        *(.text .text.*)
        *(.rodata .rodata.*)
        . = ALIGN(4);
    } > FLASH

    /* The flash partition that holds nk.nbx, erased (0xFF) after it. */
    .partition :
    {
        KEEP(*(.partition))
    } > FLASH

    .data :
    {
        . = ALIGN(4);
        __data_start = .;
        *(.data .data.*)
        . = ALIGN(4);
        __data_end = .;
    } > SRAM AT > FLASH
    __data_load = LOADADDR(.data);

    .bss (NOLOAD) :
    {
        . = ALIGN(4);
        __bss_start = .;
        *(.bss .bss.* COMMON)
        . = ALIGN(4);
        __bss_end = .;
    } > SRAM

    __stack_top = ORIGIN(SRAM) + LENGTH(SRAM);
    __image_ram = ORIGIN(PSRAM);
    __image_ram_end = ORIGIN(PSRAM) + LENGTH(PSRAM);

    /DISCARD/ : { *(.ARM.exidx*) *(.comment) }
}
