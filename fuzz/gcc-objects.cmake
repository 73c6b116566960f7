# Included by the fuzz build before the core library is made. clang cannot compile the engine's
# vector kernels, which switch the instruction set per function with GCC's target pragmas and
# attributes; the fuzz build compiles those files with g++ instead (without sanitizers or
# coverage: they do arithmetic on buffers their callers own) and links their objects.
find_program(SORVEL_GXX g++ REQUIRED)
set(sorvel_gcc_sources "")
foreach(src ${SORVEL_CORE_SOURCES})
  file(STRINGS ${src} switches REGEX "#pragma GCC target|__attribute__\\(\\(target")
  if(switches)
    list(APPEND sorvel_gcc_sources ${src})
  endif()
endforeach()
foreach(src ${sorvel_gcc_sources})
  list(REMOVE_ITEM SORVEL_CORE_SOURCES ${src})
  file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR} ${src})
  set(obj ${CMAKE_BINARY_DIR}/gcc-objects/${rel}.o)
  get_filename_component(objdir ${obj} DIRECTORY)
  file(MAKE_DIRECTORY ${objdir})
  add_custom_command(OUTPUT ${obj}
    COMMAND ${SORVEL_GXX} -std=c++20 -O2 -g -Wall -Wextra -ffp-contract=off -fno-fast-math
            -I${CMAKE_SOURCE_DIR} -MD -MF ${obj}.d -c ${src} -o ${obj}
    DEPFILE ${obj}.d
    DEPENDS ${src}
    COMMENT "g++ ${rel}")
  list(APPEND SORVEL_CORE_SOURCES ${obj})
endforeach()
