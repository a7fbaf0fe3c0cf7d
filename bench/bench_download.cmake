# bench_download: the package download (TUpgradeOpt::FetchUrl, with a progress sink like the
# upgrade worker's) of a 64 MiB file from a loopback HTTP server against "curl -o" of the
# same file in the same run (ratio of wall times). Run by hand:
#   build/bin/bench_download [--runs N]
add_executable(bench_download ${CMAKE_CURRENT_LIST_DIR}/bench_download.cpp)
target_link_libraries(bench_download PRIVATE torvane_upgrade torvane_platform torvane_warnings)
