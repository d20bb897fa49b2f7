# The real program against quorvel-sim on a pty, and the window on a real X server.
quorvel_test_dir(e2e QT LIBS quorvel_app util)
add_dependencies(e2e_tests quorvel-sim)
target_compile_definitions(e2e_tests PRIVATE QUORVEL_SIM_EXE="$<TARGET_FILE:quorvel-sim>")

add_test(NAME x11.window COMMAND bash ${CMAKE_SOURCE_DIR}/tests/x11/window.sh $<TARGET_FILE:quorvel>)
set_tests_properties(x11.window PROPERTIES SKIP_REGULAR_EXPRESSION "SKIPPED:" TIMEOUT 120)
