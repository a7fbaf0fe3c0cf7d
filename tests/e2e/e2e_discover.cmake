# torvane-cli discover against torvane-camsim: one camera of each family on 127.0.0.30-33.
# The search uses fixed ports (camsim's 127.0.0.1:10000, 6801, 7999 and 8600, the tool's
# 3565), so the test holds the resource lock "camsim_search_ports"; other tests that run
# cameras answering the search may take the same lock to stay out of its way.
if(TARGET torvane-cli AND TARGET torvane-camsim)
    add_executable(e2e_discover_tests ${CMAKE_CURRENT_LIST_DIR}/test_e2e_discover.cpp)
    target_link_libraries(e2e_discover_tests PRIVATE GTest::gtest GTest::gtest_main
        torvane_warnings)
    target_compile_definitions(e2e_discover_tests PRIVATE
        TORVANE_CLI_PATH="$<TARGET_FILE:torvane-cli>"
        TORVANE_CAMSIM_PATH="$<TARGET_FILE:torvane-camsim>")
    add_dependencies(e2e_discover_tests torvane-cli torvane-camsim)
    gtest_discover_tests(e2e_discover_tests
        DISCOVERY_TIMEOUT 60
        PROPERTIES
            TIMEOUT 120
            RESOURCE_LOCK camsim_search_ports
            ENVIRONMENT "TMPDIR=${TORVANE_TEST_SCRATCH}/e2e_discover_tests/tmp;XDG_CONFIG_HOME=${TORVANE_TEST_SCRATCH}/e2e_discover_tests/config;LANG=C.UTF-8;LC_ALL=")
    add_custom_command(TARGET e2e_discover_tests POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E make_directory
            ${TORVANE_TEST_SCRATCH}/e2e_discover_tests/tmp
            ${TORVANE_TEST_SCRATCH}/e2e_discover_tests/config)
endif()
