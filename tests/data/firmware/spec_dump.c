/* A minimal Cortex-M3 firmware for the no_std end-to-end test: it reads the
 * strategy through the two functions the generated library exports, writes it
 * to the host's standard output through semihosting, and asks the emulator to
 * exit. Nothing else is linked in: no C library, no start-up files. */
#include <stddef.h>
#include <stdint.h>

/* The generated library's C interface. */
extern size_t strategy_spec_len(void);
extern const uint8_t *strategy_spec_ptr(void);

enum {
  SYS_WRITEC = 0x03,                  /* write the byte that the argument points to */
  SYS_EXIT = 0x18,                    /* stop, with a reason code as the argument */
  ADP_STOPPED_APPLICATION_EXIT = 0x20026,
};

static uintptr_t semihost(uintptr_t op, uintptr_t arg) {
  register uintptr_t r0 __asm__("r0") = op;
  register uintptr_t r1 __asm__("r1") = arg;
  __asm__ volatile("bkpt 0xAB" : "+r"(r0) : "r"(r1) : "memory");
  return r0;
}

void reset(void) {
  const uint8_t *spec = strategy_spec_ptr();
  size_t len = strategy_spec_len();
  for (size_t i = 0; i < len; ++i) semihost(SYS_WRITEC, (uintptr_t)&spec[i]);
  semihost(SYS_WRITEC, (uintptr_t)"\n");
  semihost(SYS_EXIT, ADP_STOPPED_APPLICATION_EXIT);
  for (;;) {
  }
}

/* Any fault ends the run too, so that a broken image cannot hang the test. */
void fault(void) {
  semihost(SYS_EXIT, 0x20023); /* ADP_Stopped_RunTimeErrorUnknown */
  for (;;) {
  }
}

extern const uint32_t stack_top;

/* The initial stack pointer, the reset handler, then NMI and the faults. */
__attribute__((section(".vectors"), used)) static const void *const vectors[] = {
    &stack_top, reset, fault, fault, fault, fault, fault,
};
