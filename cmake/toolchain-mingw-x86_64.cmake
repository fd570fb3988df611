# Cross build for 64-bit Windows with the MinGW-w64 posix-thread compilers of Debian.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(KV_MINGW_TRIPLE x86_64-w64-mingw32)
set(KV_ARCH x64)
set(KV_LIBGCC_DLL libgcc_s_seh-1.dll)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
