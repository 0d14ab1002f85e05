# history_bench: a letter typed into the address box with 10,000 visits kept,
# the store's search alone and through the address box's completer.
add_executable(history_bench ${CMAKE_CURRENT_LIST_DIR}/HistoryBench.cpp)
target_link_libraries(history_bench PRIVATE quarrow_shell benchmark::benchmark Qt6::Widgets
    Qt6::Test)
target_include_directories(history_bench PRIVATE ${PROJECT_SOURCE_DIR})
quarrow_warnings(history_bench)
