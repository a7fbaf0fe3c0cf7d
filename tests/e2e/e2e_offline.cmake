# A site without a network: torvane-cli upgrades every series from a firmware folder or a
# file:// URL that torvane-camsim writes (no firmware server), mirrors a running server into
# a folder, and shares its settings file with the window. Cameras on 127.0.15.x.
if(TARGET torvane-cli AND TARGET torvane-camsim)
    torvane_add_test_exe(e2e_offline_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_e2e_offline.cpp
        LIBS torvane_i18n
        # the E and T cameras answer their searches on fixed ports of 127.0.0.1
        RESOURCE_LOCK camsim_search_ports)
    target_compile_definitions(e2e_offline_tests PRIVATE
        TORVANE_CLI_PATH="$<TARGET_FILE:torvane-cli>"
        TORVANE_CAMSIM_PATH="$<TARGET_FILE:torvane-camsim>")
    add_dependencies(e2e_offline_tests torvane-cli torvane-camsim)
endif()
