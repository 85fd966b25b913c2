// One entry per media operation. An entry runs the load hook while no
// engine is bound, then jumps to the bound dispatcher with its selector in
// EAX. The caller's return address and arguments stay where they are, so the
// dispatcher reads them directly and returns straight to the caller.
#include "media_interface/operation_list.h"

        .text

        .macro GATE_ENTRY name, selector
        .globl _\name
        .def _\name; .scl 2; .type 32; .endef
        .p2align 4
_\name:
        movl _loadHook, %eax
        testl %eax, %eax
        jz 1f
        call *%eax
1:      movl $\selector, %eax
        jmp *_dispatchEntry
        .endm

#define GATE_ENTRY_LINE(name, selector, result, parameters) GATE_ENTRY name, selector;
        MEDIA_OPERATIONS(GATE_ENTRY_LINE)

// Where the entries go while nothing is bound: the status for "not bound",
// no out-parameter touched.
        .globl _QuickTimeUnavailable
        .def _QuickTimeUnavailable; .scl 2; .type 32; .endef
        .p2align 4
_QuickTimeUnavailable:
        movl $-2095, %eax
        ret
