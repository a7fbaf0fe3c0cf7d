# torvane-cli's conventions as a user meets them (help, version, usage errors, password
# sources, -q/-v), against a loopback HTTP server standing in for a camera; and the
# window program's --help and --version, which open no window.
if(TARGET torvane-cli)
    torvane_add_test_exe(e2e_cli_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_e2e_cli.cpp
        LIBS torvane_version)
    target_compile_definitions(e2e_cli_tests PRIVATE
        TORVANE_CLI_PATH="$<TARGET_FILE:torvane-cli>"
        $<$<TARGET_EXISTS:torvane>:TORVANE_EXE="$<TARGET_FILE:torvane>">)
    add_dependencies(e2e_cli_tests torvane-cli)
    if(TARGET torvane)
        add_dependencies(e2e_cli_tests torvane)
    endif()
endif()
