# The parsers' fuzzers. Each LLVMFuzzerTestOneInput is built twice:
#  - always, with the project's compiler, into a replay program that ctest runs over the
#    committed corpus (corpus/<parser>/), so every build checks the corpora;
#  - with -DTORVANE_BUILD_FUZZ=ON and clang, as a libFuzzer target fuzz_<parser>. Use a
#    build folder of its own, for example:
#      CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DTORVANE_BUILD_FUZZ=ON \
#        -DTORVANE_BUILD_APP=OFF -DTORVANE_BUILD_CAMSIM=OFF -DTORVANE_BUILD_BENCH=OFF \
#        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS="-fsanitize=address,fuzzer-no-link"
#      cmake --build build-fuzz --target fuzz_moi fuzz_ctp fuzz_1010 fuzz_t924
#      build-fuzz/bin/fuzz_moi -max_total_time=60 tests/discovery/fuzz/corpus/moi
set(DISCOVERY_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})
foreach(parser moi ctp 1010 t924)
    add_executable(fuzz_replay_${parser} ${DISCOVERY_FUZZ_DIR}/ReplayMain.cpp
        ${DISCOVERY_FUZZ_DIR}/fuzz_${parser}.cpp)
    target_link_libraries(fuzz_replay_${parser} PRIVATE torvane_discovery torvane_warnings)
    add_test(NAME fuzz_replay_${parser}
        COMMAND fuzz_replay_${parser} ${DISCOVERY_FUZZ_DIR}/corpus/${parser})
    set_tests_properties(fuzz_replay_${parser} PROPERTIES TIMEOUT 120)
    if(TORVANE_BUILD_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        add_executable(fuzz_${parser} ${DISCOVERY_FUZZ_DIR}/fuzz_${parser}.cpp)
        target_link_libraries(fuzz_${parser} PRIVATE torvane_discovery)
        target_compile_options(fuzz_${parser} PRIVATE -fsanitize=fuzzer,address)
        target_link_options(fuzz_${parser} PRIVATE -fsanitize=fuzzer,address)
    endif()
endforeach()
