# The install rules and the Debian package. Included from tests/CMakeLists.txt, after the
# program folders, so every shipped program's target exists here.
set(quorvel_programs quorvel quorvel-sim)
if(TARGET quorvel-lab)
  list(APPEND quorvel_programs quorvel-lab)
endif()
string(REPLACE ";" "," quorvel_programs "${quorvel_programs}")

# Installs into a scratch prefix and checks what lands where.
add_test(NAME install.files
  COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DPREFIX=${CMAKE_BINARY_DIR}/install-check
          -DPROGRAMS=${quorvel_programs} -P ${CMAKE_CURRENT_LIST_DIR}/CheckInstall.cmake)
# Builds the Debian package, checks what it depends on and holds, and runs Debian's checkers
# (lintian, appstreamcli, desktop-file-validate) on it.
add_test(NAME install.deb
  COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DOUT=${CMAKE_BINARY_DIR}/deb-check
          -DPROGRAMS=${quorvel_programs} -P ${CMAKE_CURRENT_LIST_DIR}/CheckDeb.cmake)
set_tests_properties(install.deb PROPERTIES SKIP_REGULAR_EXPRESSION "SKIPPED:" TIMEOUT 300)
set_tests_properties(install.files install.deb PROPERTIES RESOURCE_LOCK quorvel_install)
