# bench_mirror: firmware from a folder and the mirror, on four packages of 24 MiB: one
# package copied from a firmware folder against cp, a first mirror run from a folder against
# cp -r and md5sum, and a second run (everything unchanged: only every local package's MD5
# is computed) against md5sum of the same files. Run by hand:
#   build/bin/bench_mirror
find_package(benchmark QUIET)
if(benchmark_FOUND)
    add_executable(bench_mirror ${CMAKE_CURRENT_LIST_DIR}/bench_mirror.cpp)
    target_link_libraries(bench_mirror PRIVATE torvane_upgrade torvane_i18n torvane_platform
        benchmark::benchmark torvane_warnings)
else()
    message(STATUS "Google Benchmark not found: bench_mirror is not built")
endif()
