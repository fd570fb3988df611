# Cross build for 32-bit Windows with the MinGW-w64 posix-thread compilers of Debian.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(KV_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER   ${KV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${KV_MINGW_TRIPLE}-windres)
set(CMAKE_MC_COMPILER  ${KV_MINGW_TRIPLE}-windmc)
set(CMAKE_FIND_ROOT_PATH /usr/${KV_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(KV_ARCH x86)
set(KV_RUNTIME_DLLS
    /usr/lib/gcc/${KV_MINGW_TRIPLE}/12-posix/libstdc++-6.dll
    /usr/lib/gcc/${KV_MINGW_TRIPLE}/12-posix/libgcc_s_dw2-1.dll
    /usr/${KV_MINGW_TRIPLE}/lib/libwinpthread-1.dll)
