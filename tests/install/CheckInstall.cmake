# Installs the build into a scratch prefix and checks that every file lands in its place.
# Run as: cmake -DBUILD_DIR=<build> -DPREFIX=<scratch> -P CheckInstall.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc}):\n${out}${err}")
endif()

set(expected
  bin/quorvel
  bin/quorvel-sim
  bin/quorvel-lab
  share/applications/quorvel.desktop
  share/doc/quorvel/changelog.gz
  share/doc/quorvel/copyright
  share/icons/hicolor/16x16/apps/quorvel.png
  share/icons/hicolor/32x32/apps/quorvel.png
  share/man/man1/quorvel.1.gz
  share/man/man1/quorvel-sim.1.gz
  share/man/man1/quorvel-lab.1.gz
  share/metainfo/org.quorvel.Quorvel.metainfo.xml)
foreach(f ${expected})
  if(NOT EXISTS ${PREFIX}/${f})
    message(FATAL_ERROR "missing after install: ${f}\n${out}")
  endif()
endforeach()
foreach(exe bin/quorvel bin/quorvel-sim)
  execute_process(COMMAND test -x ${PREFIX}/${exe} RESULT_VARIABLE not_executable)
  if(not_executable)
    message(FATAL_ERROR "not executable: ${exe}")
  endif()
endforeach()

file(STRINGS ${PREFIX}/share/applications/quorvel.desktop entry)
foreach(line "[Desktop Entry]" "Type=Application" "Exec=quorvel" "Icon=quorvel")
  list(FIND entry "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the desktop entry lacks the line \"${line}\":\n${entry}")
  endif()
endforeach()

# The icons are the program's own, at their nominal sizes (PNG width and height at 16..23).
foreach(size 16 32)
  file(READ ${PREFIX}/share/icons/hicolor/${size}x${size}/apps/quorvel.png head LIMIT 24 HEX)
  string(SUBSTRING "${head}" 32 16 dims)
  string(SUBSTRING "${dims}" 0 8 wh)
  string(SUBSTRING "${dims}" 8 8 hh)
  math(EXPR w "0x${wh}")
  math(EXPR h "0x${hh}")
  if(NOT w EQUAL size OR NOT h EQUAL size)
    message(FATAL_ERROR "the ${size}x${size} icon is ${w}x${h}")
  endif()
endforeach()

# Nothing else: no libraries, headers or test programs.
file(GLOB_RECURSE all RELATIVE ${PREFIX} ${PREFIX}/*)
list(SORT all)
list(SORT expected)
if(NOT all STREQUAL expected)
  message(FATAL_ERROR "installed files differ:\n  got ${all}\n  expected ${expected}")
endif()
message(STATUS "installed: ${all}")
