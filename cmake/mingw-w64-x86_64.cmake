# Cross-compiles the Windows screen saver with MinGW-w64 (x86_64).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(GLORP_MINGW_PREFIX x86_64-w64-mingw32)

find_program(GLORP_MINGW_GCC ${GLORP_MINGW_PREFIX}-gcc)
find_program(GLORP_MINGW_GXX ${GLORP_MINGW_PREFIX}-g++)
find_program(GLORP_MINGW_WINDRES ${GLORP_MINGW_PREFIX}-windres)
foreach(tool GLORP_MINGW_GCC GLORP_MINGW_GXX GLORP_MINGW_WINDRES)
  if(NOT ${tool})
    message(FATAL_ERROR "${GLORP_MINGW_PREFIX} cross tools not found (${tool}); "
                        "install the Debian package g++-mingw-w64-x86-64")
  endif()
endforeach()

set(CMAKE_C_COMPILER ${GLORP_MINGW_GCC})
set(CMAKE_CXX_COMPILER ${GLORP_MINGW_GXX})
set(CMAKE_RC_COMPILER ${GLORP_MINGW_WINDRES})

set(CMAKE_FIND_ROOT_PATH /usr/${GLORP_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
