# Cross build for 64-bit Windows with Debian's mingw-w64 (the posix thread
# model, for std::thread), its programs run under Wine:
#   cmake --preset windows
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VLT_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VLT_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VLT_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VLT_MINGW_TRIPLE}-windres)

# Headers, libraries and CMake packages from the mingw-w64 tree only, never
# the build machine's; programs (the build's tools) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${VLT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The run-time libraries linked in, so that the programs need no DLL but
# Windows' own.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests and test discovery run the programs under Wine, in a prefix of the
# build's own.
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/../tools/wine/run.sh ${CMAKE_BINARY_DIR}/wine-prefix)
