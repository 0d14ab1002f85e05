# Helpers shared by every folder's CMakeLists.

# Our own code builds with every warning as an error.
function(quarrow_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# quarrow_library(NAME FOLDER folder SOURCES ... LIBS ...)
#   A static library of one code folder, one layer. Its sources include headers as
#   "folder/Name.h". The include root it offers holds its own folder and nothing
#   else, so a target sees exactly the headers of the layers it links: a header of
#   a layer it does not link is not found, and the build says so.
function(quarrow_library name)
    cmake_parse_arguments(ARG "" "FOLDER" "SOURCES;LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    set(root ${CMAKE_BINARY_DIR}/layers/${name})
    if(NOT EXISTS ${root}/${ARG_FOLDER})
        file(MAKE_DIRECTORY ${root})
        file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${ARG_FOLDER} ${root}/${ARG_FOLDER} SYMBOLIC)
    endif()
    target_include_directories(${name} PUBLIC ${root})
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
    quarrow_warnings(${name})
endfunction()
