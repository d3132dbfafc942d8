set(CMAKE_C_COMPILER ${BRINDLE_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BRINDLE_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${BRINDLE_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${BRINDLE_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Everything static: the product must run from a USB stick on a bare machine.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Windows test programs run through Wine, set up by the harness script.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/harness/wine-run)
# libz.dll.a sits beside libz.a; the product must not need zlib1.dll.
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
