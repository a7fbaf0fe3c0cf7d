# bench_discovery: the main thread's work of one search pass with 2000 cameras answering
# (parsing and merging their replies, ageing, sorting, counting). Target: under 10 ms a pass.
# Run by hand:
#   build/bin/bench_discovery
find_package(benchmark QUIET)
if(benchmark_FOUND)
    add_executable(bench_discovery ${CMAKE_CURRENT_LIST_DIR}/bench_discovery.cpp)
    target_link_libraries(bench_discovery PRIVATE torvane_discovery benchmark::benchmark
        torvane_warnings)
else()
    message(STATUS "Google Benchmark not found: bench_discovery is not built")
endif()
