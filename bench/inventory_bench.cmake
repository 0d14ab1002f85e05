# inventory_bench: the page inventory collector on a page of 20,000 elements and
# 5,000 pictures, loaded once in an offscreen page, and the Page Info window's first
# rows on it; and the whole quarrow-inventory process started cold on pages of
# pictures of 1, 4 and 16 MB.
find_package(Qt6 REQUIRED COMPONENTS Test)
add_executable(inventory_bench ${CMAKE_CURRENT_LIST_DIR}/InventoryBench.cpp
    ${CMAKE_CURRENT_LIST_DIR}/InventoryPage.h ${CMAKE_CURRENT_LIST_DIR}/Wait.h)
target_link_libraries(inventory_bench PRIVATE quarrow_windows_web benchmark::benchmark
    Qt6::Widgets Qt6::WebEngineWidgets Qt6::Test)
target_include_directories(inventory_bench PRIVATE ${PROJECT_SOURCE_DIR})
quarrow_warnings(inventory_bench)
add_dependencies(inventory_bench quarrow-inventory)
target_compile_definitions(inventory_bench PRIVATE
    QUARROW_INVENTORY_TOOL="$<TARGET_FILE:quarrow-inventory>")
