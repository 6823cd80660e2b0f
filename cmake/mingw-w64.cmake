# Cross-building for 64-bit Windows with Debian's mingw-w64 (posix threads), the
# results run under wine: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)
set(CMAKE_STRIP ${MINGW_TRIPLE}-strip CACHE FILEPATH "")
set(CMAKE_AR ${MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

# libraries and headers come from the cross sysroot and the prefixes given in
# CMAKE_PREFIX_PATH / CMAKE_FIND_ROOT_PATH; programs from the host
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest and add_test commands run the .exe files through wine
find_program(PRAATKIST_WINE NAMES wine64 wine)
if(PRAATKIST_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PRAATKIST_WINE})
endif()
