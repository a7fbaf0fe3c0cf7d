# bench_site: torvane-cli batch against torvane-camsim. 32 simulated cameras (F and H mixed,
# each half sharing its packages, 8 MiB firmware, reboots scaled down) with --parallel 32,
# against one camera alone, in the same run: the ratio of wall times, how often camsim
# served each package, and the peak memory (maximum RSS) of torvane-cli with 64 cameras in
# flight. Run by hand:
#   build/bin/bench_site
if(TARGET torvane-cli AND TARGET torvane-camsim)
    add_executable(bench_site ${CMAKE_CURRENT_LIST_DIR}/bench_site.cpp)
    target_link_libraries(bench_site PRIVATE torvane_warnings)
    target_compile_definitions(bench_site PRIVATE
        TORVANE_CLI_PATH="$<TARGET_FILE:torvane-cli>"
        TORVANE_CAMSIM_PATH="$<TARGET_FILE:torvane-camsim>")
    add_dependencies(bench_site torvane-cli torvane-camsim)
endif()
