# bench_upload: the firmware upload of a 64 MiB file to a loopback sink against
# "curl -F file=@..." in the same run (ratio of wall times), and the peak memory of an
# upload of 1 MiB and of 64 MiB in a fresh process each. Run by hand:
#   build/bin/bench_upload
add_executable(bench_upload ${CMAKE_CURRENT_LIST_DIR}/bench_upload.cpp)
target_link_libraries(bench_upload PRIVATE torvane_series torvane_platform torvane_warnings)
