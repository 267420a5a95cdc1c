# Cross-build for 64-bit Windows with Debian's mingw-w64 (the -posix variant,
# whose C++ library has std::thread). Everything is linked statically so the
# programs need no DLL but the system's.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZK_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${ZK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZK_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${ZK_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${ZK_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")

# Libraries cross-built by scripts/install-deps --test live in ZK_WINDOWS_PREFIX.
if(NOT ZK_WINDOWS_PREFIX AND DEFINED ENV{ZK_WINDOWS_PREFIX})
  set(ZK_WINDOWS_PREFIX $ENV{ZK_WINDOWS_PREFIX})
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${ZK_MINGW_TRIPLE} ${ZK_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Debian's libz-mingw-w64-dev has an import library too: take the static one.
set(ZLIB_LIBRARY /usr/${ZK_MINGW_TRIPLE}/lib/libz.a CACHE FILEPATH "")
set(ZLIB_INCLUDE_DIR /usr/${ZK_MINGW_TRIPLE}/include CACHE PATH "")

# Test programs run under Wine (scripts/test-windows sets up its prefix).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-exec)

# GCC 12's -Wrestrict misfires on std::string concatenation at -O2 (GCC bug
# 105329, fixed in GCC 13); Debian's mingw-w64 compiler is GCC 12.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
