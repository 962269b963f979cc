# Compiles the Mac-only code on this machine with -fsyntax-only: every
# *_mac.cpp and every source with a Q_OS_MACOS branch, as a Mac compiler
# would see it (Apple's predefined macros instead of Linux's), against the
# stand-in SDK headers next to this script. A typo in code that only a Mac
# builds then fails here instead of on a user's machine.
# Expects CXX, SOURCE_DIR and the ;-lists INCLUDES, DEFINES, OPTIONS.
file(GLOB_RECURSE sources "${SOURCE_DIR}/src/*.cpp")
set(checked 0)
set(failed "")
foreach(source ${sources})
  if(NOT source MATCHES "_mac\\.cpp$")
    file(STRINGS "${source}" mac_lines REGEX "Q_OS_MACOS|Q_OS_DARWIN|__APPLE__")
    if(NOT mac_lines)
      continue()
    endif()
  endif()
  set(arguments -std=c++20 -fsyntax-only
      -U__linux__ -U__linux -Ulinux -U__gnu_linux__ -D__APPLE__ -D__MACH__
      "-I${CMAKE_CURRENT_LIST_DIR}" "-I${SOURCE_DIR}/src")
  foreach(dir ${INCLUDES})
    # Naming the compiler's own folder again would break its #include_next chain.
    if(NOT dir MATCHES "^/usr(/local)?/include/?$")
      list(APPEND arguments "-isystem" "${dir}")
    endif()
  endforeach()
  foreach(definition ${DEFINES})
    list(APPEND arguments "-D${definition}")
  endforeach()
  execute_process(COMMAND "${CXX}" ${arguments} ${OPTIONS} "${source}" RESULT_VARIABLE status)
  math(EXPR checked "${checked} + 1")
  if(NOT status EQUAL 0)
    list(APPEND failed "${source}")
  endif()
endforeach()
if(checked EQUAL 0)
  message(FATAL_ERROR "No Mac-only source found under ${SOURCE_DIR}/src")
endif()
if(failed)
  message(FATAL_ERROR "Mac-only code does not compile:\n  ${failed}")
endif()
message(STATUS "${checked} Mac-only sources compile")
