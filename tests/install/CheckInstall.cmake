# Installs the build into a scratch prefix and checks that every file lands in its place.
# Run as: cmake -DBUILD_DIR=<build> -DPREFIX=<scratch> -DPROGRAMS=<a,b> -P CheckInstall.cmake
string(REPLACE "," ";" PROGRAMS "${PROGRAMS}")
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc}):\n${out}${err}")
endif()

set(expected
  share/applications/quorvel.desktop
  share/doc/quorvel/changelog.gz
  share/doc/quorvel/copyright
  share/icons/hicolor/16x16/apps/quorvel.png
  share/icons/hicolor/32x32/apps/quorvel.png
  share/metainfo/org.quorvel.Quorvel.metainfo.xml)
# Every program with its manual page.
foreach(program ${PROGRAMS})
  list(APPEND expected bin/${program} share/man/man1/${program}.1.gz)
endforeach()
foreach(f ${expected})
  if(NOT EXISTS ${PREFIX}/${f})
    message(FATAL_ERROR "missing after install: ${f}\n${out}")
  endif()
endforeach()
foreach(program ${PROGRAMS})
  execute_process(COMMAND test -x ${PREFIX}/bin/${program} RESULT_VARIABLE not_executable)
  if(not_executable)
    message(FATAL_ERROR "not executable: bin/${program}")
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
