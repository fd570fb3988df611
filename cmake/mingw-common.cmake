# The part of the two MinGW-w64 toolchain files that differs only by the target triple.
# Expects KV_MINGW_TRIPLE, KV_ARCH and KV_LIBGCC_DLL to be set.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER   ${KV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${KV_MINGW_TRIPLE}-windres)
set(CMAKE_MC_COMPILER  ${KV_MINGW_TRIPLE}-windmc)
set(CMAKE_FIND_ROOT_PATH /usr/${KV_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The shared C++ run-time staged beside every binary.
set(KV_RUNTIME_DLLS
    /usr/lib/gcc/${KV_MINGW_TRIPLE}/12-posix/libstdc++-6.dll
    /usr/lib/gcc/${KV_MINGW_TRIPLE}/12-posix/${KV_LIBGCC_DLL}
    /usr/${KV_MINGW_TRIPLE}/lib/libwinpthread-1.dll)
