# The camera selection window, offscreen (Qt): what its list, panel and count show of the
# search session, and how OK, Cancel and closing behave.
if(TORVANE_BUILD_APP)
    torvane_add_test_exe(adv_main_tests
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_adv_main.cpp
        LIBS torvane_discovery_qt torvane_app torvane_test_support_qt
        # Find starts a T-series search, whose replies come to the fixed port 8600.
        RESOURCE_LOCK camsim_search_ports)
endif()
