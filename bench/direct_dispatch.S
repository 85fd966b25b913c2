// DirectDispatch1(dispatcher, selector, arg): calls an engine's dispatcher the
// way a gate entry reaches it (selector in EAX, one argument on the stack),
// through a plain function pointer.
        .text
        .globl _DirectDispatch1
        .def _DirectDispatch1; .scl 2; .type 32; .endef
        .p2align 4
_DirectDispatch1:
        movl 4(%esp), %ecx
        movl 8(%esp), %eax
        pushl 12(%esp)
        call *%ecx
        addl $4, %esp
        ret
