# decode_bench: the Page Info thumbnailer's decode of crafted pictures that cost far
# more to decode than to send, through its bounds and through a plain image reader.
add_executable(decode_bench ${CMAKE_CURRENT_LIST_DIR}/DecodeBench.cpp)
target_link_libraries(decode_bench PRIVATE quarrow_windows_web benchmark::benchmark Qt6::Widgets)
target_include_directories(decode_bench PRIVATE ${PROJECT_SOURCE_DIR})
quarrow_warnings(decode_bench)
