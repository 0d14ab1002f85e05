# audit_bench: Page Info's sources, states, findings and estimates on the page of
# inventory_bench (20,000 elements, 5,050 pictures), and the window's thread while
# the estimates of a page of large photos are made.
find_package(Qt6 REQUIRED COMPONENTS Test)
add_executable(audit_bench ${CMAKE_CURRENT_LIST_DIR}/AuditBench.cpp
    ${CMAKE_CURRENT_LIST_DIR}/InventoryPage.h ${CMAKE_CURRENT_LIST_DIR}/Wait.h)
target_link_libraries(audit_bench PRIVATE quarrow_windows_web benchmark::benchmark
    Qt6::Widgets Qt6::WebEngineWidgets Qt6::Test)
target_include_directories(audit_bench PRIVATE ${PROJECT_SOURCE_DIR})
quarrow_warnings(audit_bench)
