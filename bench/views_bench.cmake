# views_bench: the real main window, from the live page's load finished to the
# view that shows painted and loaded, on 1 MB and 5 MB pages served over local HTTP.
add_executable(views_bench ${CMAKE_CURRENT_LIST_DIR}/ViewsBench.cpp ${CMAKE_CURRENT_LIST_DIR}/Wait.h)
target_link_libraries(views_bench PRIVATE quarrow_shell quarrow_test_support benchmark::benchmark
    Qt6::Widgets Qt6::WebEngineWidgets Qt6::Test)
target_include_directories(views_bench PRIVATE ${PROJECT_SOURCE_DIR})
quarrow_warnings(views_bench)
