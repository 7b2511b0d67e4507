# Cross-compiles the core, pyrolith-cli and their tests for 64-bit Windows with Debian's
# mingw-w64 compiler (the POSIX-threads variant, which has std::thread and std::mutex).
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# The tests run under Wine (scripts/wine-run.sh), which ctest calls for every test.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PYROLITH_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PYROLITH_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PYROLITH_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${PYROLITH_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PYROLITH_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes and the thread library linked in, so that each .exe runs alone.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
