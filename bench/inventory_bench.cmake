# inventory_bench: the page inventory collector on a page of 20,000 elements and
# 5,000 pictures, loaded once in an offscreen page, and the Page Info window's first
# rows on it.
find_package(Qt6 REQUIRED COMPONENTS Test)
add_executable(inventory_bench ${CMAKE_CURRENT_LIST_DIR}/InventoryBench.cpp ${CMAKE_CURRENT_LIST_DIR}/Wait.h)
target_link_libraries(inventory_bench PRIVATE quarrow_windows_web benchmark::benchmark
    Qt6::Widgets Qt6::WebEngineWidgets Qt6::Test)
target_include_directories(inventory_bench PRIVATE ${PROJECT_SOURCE_DIR})
quarrow_warnings(inventory_bench)
