# End-to-end tests: the real program against quorvel-sim on a pty, a bare pty, and screenshots
# on a private X server. Included from tests/CMakeLists.txt, after the
# tools folder, so the simulator target exists here.
quorvel_test_dir(e2e QT LIBS quorvel_app util)
add_dependencies(e2e_tests quorvel-sim)
target_compile_definitions(e2e_tests PRIVATE
  QUORVEL_SIM_EXE="$<TARGET_FILE:quorvel-sim>")
