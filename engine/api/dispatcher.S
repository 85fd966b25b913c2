# theQuickTimeDispatcher: selector in EAX, the operation's arguments on the
# caller's stack above the return address (cdecl: the caller pops them),
# result in EAX. Hands the selector and the address of the first argument
# to VmDispatch.
        .text
        .globl  _theQuickTimeDispatcher
        .def    _theQuickTimeDispatcher; .scl 2; .type 32; .endef
_theQuickTimeDispatcher:
        leal    4(%esp), %ecx
        pushl   %ecx
        pushl   %eax
        call    _VmDispatch
        addl    $8, %esp
        ret
