# harvest_bench: the whole harvest, files included, on pages of 100 KB, 1 MB and 10 MB
# in this process, and the whole quarrow-harvest process started cold on dense pages
# of 10 MB and 50 MB.
add_executable(harvest_bench ${CMAKE_CURRENT_LIST_DIR}/HarvestBench.cpp ${CMAKE_CURRENT_LIST_DIR}/ToolRun.h)
target_include_directories(harvest_bench PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(harvest_bench PRIVATE quarrow_harvest benchmark::benchmark Qt6::Core)
add_dependencies(harvest_bench quarrow-harvest)
target_compile_definitions(harvest_bench PRIVATE
    QUARROW_HARVEST_TOOL="$<TARGET_FILE:quarrow-harvest>")
quarrow_warnings(harvest_bench)
