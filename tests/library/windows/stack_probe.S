/* int32_t ulo_probe_call(void* fn, void* ecx, int32_t count, const int32_t* args,
 *                        int32_t* result)
 * Pushes args[count-1] .. args[0], loads ECX (the object of a __thiscall
 * method; anything for other callees), calls fn, stores EAX in *result and
 * returns how many bytes the callee took off the stack: 0 for __cdecl,
 * 4*count for __stdcall, 4*count for __thiscall with the object in ECX.
 * ESP is restored from EBP, so a callee of the wrong convention cannot
 * damage the caller; a clobbered EBX, ESI or EDI shows as a wrong count. */
        .text
        .globl  _ulo_probe_call
_ulo_probe_call:
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        movl    16(%ebp), %ebx
        movl    20(%ebp), %edx
1:      testl   %ebx, %ebx
        jz      2f
        decl    %ebx
        pushl   (%edx,%ebx,4)
        jmp     1b
2:      movl    %esp, %esi
        movl    12(%ebp), %ecx
        call    *8(%ebp)
        movl    24(%ebp), %edx
        movl    %eax, (%edx)
        movl    %esp, %eax
        subl    %esi, %eax
        leal    -12(%ebp), %esp
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret
