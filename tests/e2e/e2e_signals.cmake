# torvane-cli ended by SIGINT or SIGTERM, against a loopback camera of the test's own (no
# camsim, no LAN search, so no fixed ports).
if(TARGET torvane-cli)
    torvane_add_test_exe(e2e_signals_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_e2e_signals.cpp
        LIBS torvane_upgrade PkgConfig::LIBZIP)
    target_compile_definitions(e2e_signals_tests PRIVATE
        TORVANE_CLI_PATH="$<TARGET_FILE:torvane-cli>")
    add_dependencies(e2e_signals_tests torvane-cli)
endif()
