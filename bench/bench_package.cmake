# bench_package: the package digest, the unpacking of a 64 MiB firmware package and the
# reuse check of the unpacked file, against the system's md5sum, unzip and sha256sum on the
# same files. Run by hand:
#   build/bin/bench_package
find_package(benchmark QUIET)
if(benchmark_FOUND)
    add_executable(bench_package ${CMAKE_CURRENT_LIST_DIR}/bench_package.cpp)
    target_link_libraries(bench_package PRIVATE torvane_upgrade torvane_platform
        benchmark::benchmark torvane_warnings)
else()
    message(STATUS "Google Benchmark not found: bench_package is not built")
endif()
