# torvane-cli discover with its default settings on a PC with two networks, inside network
# namespaces the test builds (root and iproute2 needed). The ports it uses live in those
# namespaces: no lock on the host's search ports is needed.
if(TARGET torvane-cli)
    torvane_add_test_exe(e2e_netns_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_e2e_netns.cpp)
    target_compile_definitions(e2e_netns_tests PRIVATE
        TORVANE_CLI_PATH="$<TARGET_FILE:torvane-cli>")
    add_dependencies(e2e_netns_tests torvane-cli)
endif()
