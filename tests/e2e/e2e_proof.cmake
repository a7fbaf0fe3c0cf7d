# e2e_proof_tests: torvane-cli upgrade --json against cameras of torvane-camsim on
# 127.0.17.x, one of each series running normally, coming back on its old version
# (keep-old) and hiding its version after the restart (hide-version): the run's last line,
# the JSON stream, the exit statuses and --series auto. The E series' version and the
# series search answer on camsim's fixed search ports, hence the lock.
if(TARGET torvane-cli AND TARGET torvane-camsim)
    torvane_add_test_exe(e2e_proof_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_e2e_proof.cpp
        RESOURCE_LOCK camsim_search_ports)
    target_compile_definitions(e2e_proof_tests PRIVATE
        TORVANE_CLI_PATH="$<TARGET_FILE:torvane-cli>"
        TORVANE_CAMSIM_PATH="$<TARGET_FILE:torvane-camsim>")
    add_dependencies(e2e_proof_tests torvane-cli torvane-camsim)
endif()
