# The search on every interface, inside network namespaces that the tests build for
# themselves (root and iproute2 needed; a test that cannot build them fails and says so).
# Their ports live in those namespaces, so they need no lock on the host's search ports.
torvane_add_test_exe(netns_search_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_netns_search.cpp
    LIBS torvane_discovery)
