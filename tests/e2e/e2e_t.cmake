# T series end to end: torvane-cli upgrade --series T against T cameras of torvane-camsim.
if(TARGET torvane-cli AND TARGET torvane-camsim)
    torvane_add_test_exe(e2e_t_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_e2e_t.cpp
        LIBS torvane_i18n RESOURCE_LOCK camsim_search_ports)
    target_compile_definitions(e2e_t_tests PRIVATE
        TORVANE_CLI_PATH="$<TARGET_FILE:torvane-cli>"
        TORVANE_CAMSIM_PATH="$<TARGET_FILE:torvane-camsim>")
    add_dependencies(e2e_t_tests torvane-cli torvane-camsim)
endif()
