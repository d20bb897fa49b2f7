# End-to-end tests: the real program against quorvel-sim on a pty, a bare pty, screenshots
# on a private X server, and the install rules. Included from tests/CMakeLists.txt, after the
# tools folder, so the simulator target exists here.
quorvel_test_dir(e2e QT LIBS quorvel_app util)
add_dependencies(e2e_tests quorvel-sim)
target_compile_definitions(e2e_tests PRIVATE
  QUORVEL_SIM_EXE="$<TARGET_FILE:quorvel-sim>")

# Installs into a scratch prefix and checks what lands where.
add_test(NAME install.files
  COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DPREFIX=${CMAKE_BINARY_DIR}/install-check
          -P ${CMAKE_SOURCE_DIR}/tests/install/CheckInstall.cmake)
# Builds the Debian package and checks what it depends on.
add_test(NAME install.deb
  COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DOUT=${CMAKE_BINARY_DIR}/deb-check
          -P ${CMAKE_SOURCE_DIR}/tests/install/CheckDeb.cmake)
set_tests_properties(install.deb PROPERTIES SKIP_REGULAR_EXPRESSION "SKIPPED:" TIMEOUT 300)
set_tests_properties(install.files install.deb PROPERTIES RESOURCE_LOCK quorvel_install)
