# bench_interfaces: what one probe costs now that "auto" reads the interfaces at every send
# and sends once per interface, against one routed send to a fixed address. It refuses to
# run in the host's network namespace; run it inside one of its own, for example:
#   ip netns add tvbench; ip -n tvbench link set lo up
#   for i in 0 1 2 3; do ip -n tvbench link add d$i type dummy;
#     ip -n tvbench addr add 198.18.$i.1/24 brd + dev d$i; ip -n tvbench link set d$i up; done
#   ip netns exec tvbench build/bin/bench_interfaces; ip netns del tvbench
find_package(benchmark QUIET)
if(benchmark_FOUND)
    add_executable(bench_interfaces ${CMAKE_CURRENT_LIST_DIR}/bench_interfaces.cpp)
    target_link_libraries(bench_interfaces PRIVATE torvane_platform benchmark::benchmark
        torvane_warnings)
else()
    message(STATUS "Google Benchmark not found: bench_interfaces is not built")
endif()
