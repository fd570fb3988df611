# Cross build for 32-bit Windows with the MinGW-w64 posix-thread compilers of Debian.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(KV_MINGW_TRIPLE i686-w64-mingw32)
set(KV_ARCH x86)
set(KV_LIBGCC_DLL libgcc_s_dw2-1.dll)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
