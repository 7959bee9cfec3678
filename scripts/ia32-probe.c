/*
 * Does this machine execute 32-bit x86 code in a 64-bit process? That is
 * all Wine's WoW64 mode needs to run the i686 build, and some hypervisors
 * refuse it (the kernel still says CONFIG_IA32_EMULATION=y there), so the
 * only sound answer is to try: switch to the 32-bit user code segment, run a
 * few instructions there, switch back, and catch the fault if the switch is
 * refused.
 *
 * Prints one line and exits 0 when 32-bit code ran, 1 when it did not.
 * x86_64 Linux only; elsewhere the answer is no.
 */
#define _GNU_SOURCE
#include <setjmp.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#if defined(__x86_64__) && defined(__linux__)

/* Linux's flat user code segments: 32-bit (compatibility mode) and 64-bit. */
enum { kCode32 = 0x23, kCode64 = 0x33 };

/* Offsets in the page: the 64-bit entry, the 32-bit code, the 64-bit way
   back, and the slot that keeps the stack pointer across the switch (in
   compatibility mode the upper halves of the registers are undefined). */
enum { kEntry = 0x00, kCode = 0x40, kBack = 0x80, kSavedSp = 0x100 };

static sigjmp_buf fault;

static void OnFault(int sig)
{
    siglongjmp(fault, sig);
}

static void Put32(unsigned char *p, uint32_t v)
{
    memcpy(p, &v, sizeof v);
}

int main(void)
{
    /* Below 2 GiB: the 32-bit code addresses itself with 32 bits, and the
       64-bit code reaches the stack slot with a sign-extended disp32. */
    unsigned char *page = mmap(NULL, 4096, PROT_READ | PROT_WRITE | PROT_EXEC,
                               MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
    if (page == MAP_FAILED) {
        perror("ia32-probe: mmap");
        return 1;
    }
    uint32_t base = (uint32_t)(uintptr_t)page;
    unsigned char *p;

    /* 64-bit: save rsp, then far return into the 32-bit segment. */
    p = page + kEntry;
    memcpy(p, "\x48\x89\x24\x25", 4);            /* mov [disp32], rsp */
    Put32(p + 4, base + kSavedSp);
    p += 8;
    *p++ = 0x6A; *p++ = kCode32;                  /* push 0x23 */
    *p++ = 0x68; Put32(p, base + kCode); p += 4;  /* push code */
    *p++ = 0x48; *p++ = 0xCB;                     /* retfq */

    /* 32-bit: no memory and no stack (the data and stack selectors are
       null in a 64-bit process). 0x40 is "inc eax" only in 32-bit code; in
       64-bit code it would be a prefix, and the direct far jump (0xEA),
       which does not exist there, would fault. */
    p = page + kCode;
    *p++ = 0xB8; Put32(p, 1); p += 4;             /* mov eax, 1 */
    *p++ = 0x40;                                  /* inc eax */
    *p++ = 0x40;                                  /* inc eax */
    *p++ = 0xEA; Put32(p, base + kBack); p += 4;  /* jmp far 0x33:back */
    *p++ = kCode64; *p++ = 0x00;

    /* 64-bit again: restore rsp and return to the caller with eax. */
    p = page + kBack;
    memcpy(p, "\x48\x8B\x24\x25", 4);            /* mov rsp, [disp32] */
    Put32(p + 4, base + kSavedSp);
    p[8] = 0xC3;                                  /* ret */

    /* A fault may come while rsp holds a truncated 32-bit stack pointer:
       the handler runs on a stack of its own. */
    static unsigned char altStack[64 * 1024];
    stack_t ss = { .ss_sp = altStack, .ss_size = sizeof altStack };
    sigaltstack(&ss, NULL);
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnFault;
    sa.sa_flags = SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    const int signals[] = { SIGSEGV, SIGBUS, SIGILL, SIGTRAP, SIGALRM };
    for (size_t i = 0; i < sizeof signals / sizeof signals[0]; ++i)
        sigaction(signals[i], &sa, NULL);
    alarm(5);

    int sig = sigsetjmp(fault, 1);
    if (sig != 0) {
        printf("no: switching to the 32-bit code segment raised signal %d (%s)\n",
               sig, strsignal(sig));
        return 1;
    }
    int result = ((int (*)(void))(uintptr_t)(page + kEntry))();
    alarm(0);
    if (result != 3) {
        printf("no: the 32-bit code gave %d instead of 3\n", result);
        return 1;
    }
    printf("yes: 32-bit x86 code ran in this 64-bit process\n");
    return 0;
}

#else

int main(void)
{
    printf("no: not an x86_64 Linux machine\n");
    return 1;
}

#endif
