# 32-bit x86 Linux build of the portable code (g++-multilib), statically
# linked so that qemu-i386-static runs it without an i386 loader. The code is
# generated for i686 without SSE, like the Windows i686 build; tests run under
# qemu with the processor model taken from QEMU_CPU.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32 -march=i686 -mno-sse")
set(CMAKE_CXX_FLAGS_INIT "-m32 -march=i686 -mno-sse")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32 -static")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/qemu-i686-run.sh)
