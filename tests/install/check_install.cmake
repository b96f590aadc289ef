# Installs the build into a scratch prefix and checks what lands where: the
# program with its map data files beside it, the command on the PATH, and
# the desktop entry, icon and GRIB file type.
#   cmake -DBUILD=... -DPREFIX=... -DPROGRAM_DIR=... -P this
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

if(NOT EXISTS "${PREFIX}/${PROGRAM_DIR}/skyvane")
  message(FATAL_ERROR "the program was not installed beside its data")
endif()
# The link on the PATH must lead to the program, which finds its data
# files beside its real location.
file(REAL_PATH "${PREFIX}/bin/skyvane" linked)
file(REAL_PATH "${PREFIX}/${PROGRAM_DIR}/skyvane" program)
if(NOT IS_SYMLINK "${PREFIX}/bin/skyvane" OR NOT linked STREQUAL program)
  message(FATAL_ERROR "bin/skyvane does not lead to ${program}")
endif()

# Fails unless the installed file holds every one of the texts.
function(expect_texts path)
  file(READ "${PREFIX}/${path}" content)
  foreach(text IN LISTS ARGN)
    string(FIND "${content}" "${text}" at)
    if(at LESS 0)
      message(FATAL_ERROR "${path} lacks ${text}")
    endif()
  endforeach()
endfunction()
expect_texts(share/applications/skyvane.desktop "Exec=skyvane %f" "Icon=skyvane" "MimeType=application/x-grib;")
expect_texts(share/mime/packages/skyvane-grib.xml
  "pattern=\"*.grb\"" "pattern=\"*.grib\"" "pattern=\"*.grb1\"" "pattern=\"*.grib2\"")
if(NOT EXISTS "${PREFIX}/share/icons/hicolor/scalable/apps/skyvane.svg")
  message(FATAL_ERROR "the desktop icon was not installed")
endif()
file(REMOVE_RECURSE "${PREFIX}")
