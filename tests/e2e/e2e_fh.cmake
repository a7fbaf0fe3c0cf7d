# e2e_fh_tests: torvane-cli upgrade against F and H cameras of torvane-camsim on
# 127.0.10.x (a range of their own, so these runs never meet other end-to-end tests).
if(TARGET torvane-cli AND TARGET torvane-camsim)
    torvane_add_test_exe(e2e_fh_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_e2e_fh.cpp
        LIBS torvane_platform
        # camsim answers the LAN search of its F and H cameras on the fixed ports
        RESOURCE_LOCK camsim_search_ports)
    target_compile_definitions(e2e_fh_tests PRIVATE
        TORVANE_CLI_PATH="$<TARGET_FILE:torvane-cli>"
        TORVANE_CAMSIM_PATH="$<TARGET_FILE:torvane-camsim>")
    add_dependencies(e2e_fh_tests torvane-cli torvane-camsim)
endif()
