# E series end to end: torvane-cli upgrade --series E against E cameras of torvane-camsim
# (HTTP login and CTP transfer on one port, the version from the CTP search).
if(TARGET torvane-cli AND TARGET torvane-camsim)
    torvane_add_test_exe(e2e_e_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_e2e_e.cpp
        LIBS torvane_i18n RESOURCE_LOCK camsim_search_ports)
    target_compile_definitions(e2e_e_tests PRIVATE
        TORVANE_CLI_PATH="$<TARGET_FILE:torvane-cli>"
        TORVANE_CAMSIM_PATH="$<TARGET_FILE:torvane-camsim>")
    add_dependencies(e2e_e_tests torvane-cli torvane-camsim)
endif()
