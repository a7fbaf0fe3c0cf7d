# e2e_batch_tests: torvane-cli batch against a mixed site of torvane-camsim cameras on
# 127.0.13.x (a range of its own): parallel runs, one download per package, failures kept
# apart, the same-version policy, the report and the first Ctrl-C.
if(TARGET torvane-cli AND TARGET torvane-camsim)
    torvane_add_test_exe(e2e_batch_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_e2e_batch.cpp
        LIBS torvane_platform
        # camsim answers the E and T searches on their fixed ports
        RESOURCE_LOCK camsim_search_ports)
    target_compile_definitions(e2e_batch_tests PRIVATE
        TORVANE_CLI_PATH="$<TARGET_FILE:torvane-cli>"
        TORVANE_CAMSIM_PATH="$<TARGET_FILE:torvane-camsim>")
    add_dependencies(e2e_batch_tests torvane-cli torvane-camsim)
endif()
