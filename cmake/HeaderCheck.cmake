# tabulon_header_check(<folder> <library>): compiles every header under the module folder in a
# source file of its own that includes that header alone, with the include paths and
# definitions of the module's library. A header that leans on what its includer brought in
# fails the build.
function(tabulon_header_check folder library)
    file(GLOB_RECURSE headers CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR}
         ${PROJECT_SOURCE_DIR}/${folder}/*.h)
    if(NOT headers)
        return()
    endif()
    set(sources "")
    foreach(header IN LISTS headers)
        string(MAKE_C_IDENTIFIER ${header} name)
        set(source ${CMAKE_CURRENT_BINARY_DIR}/header_check/${name}.cpp)
        file(CONFIGURE OUTPUT ${source} CONTENT "#include \"${header}\"\n")
        list(APPEND sources ${source})
    endforeach()
    add_library(${folder}_headers OBJECT ${sources})
    target_link_libraries(${folder}_headers PRIVATE ${library})
    tabulon_warnings(${folder}_headers)
endfunction()
