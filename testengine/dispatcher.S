// The engine's entry points. The dispatcher is entered by a jump from a gate
// entry: selector in EAX, the caller's return address at the top of the
// stack and its arguments above it. It hands both to Dispatch and returns
// Dispatch's answer in EAX straight to the caller.
        .text

        .globl _theQuickTimeDispatcher
        .def _theQuickTimeDispatcher; .scl 2; .type 32; .endef
        .p2align 4
_theQuickTimeDispatcher:
        leal 4(%esp), %ecx
        pushl %ecx
        pushl %eax
        call _EngineDispatch
        addl $8, %esp
        ret

// Required of an engine, never called by the plug-in: answer "bad selector".
        .globl __CallComponent
        .def __CallComponent; .scl 2; .type 32; .endef
        .p2align 4
__CallComponent:
        movl $0x80008002, %eax
        ret

        .globl __CallComponentFunctionWithStorage
        .def __CallComponentFunctionWithStorage; .scl 2; .type 32; .endef
        .p2align 4
__CallComponentFunctionWithStorage:
        movl $0x80008002, %eax
        ret
