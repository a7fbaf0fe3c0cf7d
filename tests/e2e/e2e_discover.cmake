# torvane-cli discover against torvane-camsim: one camera of each family on 127.0.0.30-33.
# The search uses fixed ports (camsim's 127.0.0.1:10000, 6801, 7999 and 8600, the tool's
# 3565), so the test holds the resource lock "camsim_search_ports"; other tests that run
# cameras answering the search may take the same lock to stay out of its way.
if(TARGET torvane-cli AND TARGET torvane-camsim)
    torvane_add_test_exe(e2e_discover_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_e2e_discover.cpp
        RESOURCE_LOCK camsim_search_ports)
    target_compile_definitions(e2e_discover_tests PRIVATE
        TORVANE_CLI_PATH="$<TARGET_FILE:torvane-cli>"
        TORVANE_CAMSIM_PATH="$<TARGET_FILE:torvane-camsim>")
    add_dependencies(e2e_discover_tests torvane-cli torvane-camsim)
endif()
