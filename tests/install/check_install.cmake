# Installs the build into a scratch prefix and checks that the map data
# files land beside the program: cmake -DBUILD=... -DPREFIX=... -P this.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(name Skyvane.00 Skyvane.01 Skyvane.02)
  set(installed "${PREFIX}/${PROGRAM_DIR}/${name}")
  if(NOT EXISTS "${installed}")
    message(FATAL_ERROR "${installed} was not installed")
  endif()
  file(SIZE "${installed}" size)
  if(size LESS 100000)
    message(FATAL_ERROR "${installed} is only ${size} bytes")
  endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
