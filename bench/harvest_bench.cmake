# harvest_bench: the whole harvest, files included, on pages of 100 KB, 1 MB and 10 MB.
add_executable(harvest_bench ${CMAKE_CURRENT_LIST_DIR}/HarvestBench.cpp)
target_link_libraries(harvest_bench PRIVATE quarrow_harvest benchmark::benchmark Qt6::Core)
quarrow_warnings(harvest_bench)
