# Tests of the LAN search: discovery_tests, the stand-in vendor library in 909/ beside it,
# and the replay of the fuzzers' corpora.

set(DISCOVERY_TEST_BIN ${CMAKE_CURRENT_BINARY_DIR}/bin)

torvane_add_test_exe(discovery_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/test_json.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_net.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_session.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_sr.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_t924.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_vendor.cpp
    LIBS torvane_discovery ${CMAKE_DL_LIBS})
# A folder of its own, so that the 909/ folder beside it is seen by this program only.
set_target_properties(discovery_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${DISCOVERY_TEST_BIN})

add_library(torvane_fake_dvsnet SHARED ${CMAKE_CURRENT_LIST_DIR}/FakeDvsNet.cpp)
target_include_directories(torvane_fake_dvsnet PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(torvane_fake_dvsnet PRIVATE Threads::Threads torvane_warnings)
set_target_properties(torvane_fake_dvsnet PROPERTIES
    OUTPUT_NAME DVSNETClient
    PREFIX lib
    LIBRARY_OUTPUT_DIRECTORY ${DISCOVERY_TEST_BIN}/909
    CXX_VISIBILITY_PRESET hidden)
add_dependencies(discovery_tests torvane_fake_dvsnet)

include(${CMAKE_CURRENT_LIST_DIR}/fuzz/fuzz.cmake)
