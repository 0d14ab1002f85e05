# The side windows and the tools-menu integration.
quarrow_test(test_tools_menu SOURCES ${CMAKE_CURRENT_LIST_DIR}/ToolsMenuTest.cpp LIBS quarrow_windows)
quarrow_test(test_side_windows
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/HelpWindowTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/AboutWindowTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/WebsiteWindowTest.cpp
    LIBS quarrow_windows GUI)
target_compile_definitions(test_side_windows PRIVATE
    QUARROW_HELP_RTF="${PROJECT_SOURCE_DIR}/resources/beside/Help.rtf")
