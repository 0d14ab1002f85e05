# worst_case_bench: hostile pages through the command-line harvest, one cold process
# a run, with its time, peak memory and output measured against the harvest's bounds.

add_executable(worst_case_bench ${CMAKE_CURRENT_LIST_DIR}/WorstCaseBench.cpp ${CMAKE_CURRENT_LIST_DIR}/ToolRun.h)
target_include_directories(worst_case_bench PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(worst_case_bench PRIVATE benchmark::benchmark Qt6::Core)
add_dependencies(worst_case_bench quarrow-harvest)
target_compile_definitions(worst_case_bench PRIVATE
    QUARROW_HARVEST_TOOL="$<TARGET_FILE:quarrow-harvest>")
quarrow_warnings(worst_case_bench)
