# Cross-compiles for Windows with Debian's mingw-w64; the architecture's own toolchain file sets
# QX_MINGW_ARCH (i686: the shipped 32-bit DLL; x86_64: its 64-bit twin) and includes this.
# The -posix compilers are needed: the win32-thread build has no std::mutex, which googletest uses.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${QX_MINGW_ARCH})

set(CMAKE_C_COMPILER   ${QX_MINGW_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${QX_MINGW_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  ${QX_MINGW_ARCH}-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QX_MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
