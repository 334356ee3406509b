# Run as a test: cmake -DREADELF=... -DPROGRAMS="a|b" -P no_widgets_binaries.cmake
# Fails when one of the built programs needs the Qt Widgets library at run time (a NEEDED entry
# of its dynamic section), naming the program.
if(NOT READELF)
    message(FATAL_ERROR "no readelf: the programs' dynamic sections cannot be read")
endif()
set(failed "")
string(REPLACE "|" ";" PROGRAMS "${PROGRAMS}")
foreach(program IN LISTS PROGRAMS)
    execute_process(COMMAND ${READELF} -d ${program} OUTPUT_VARIABLE dynamic
                    RESULT_VARIABLE status ERROR_VARIABLE problem)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "readelf -d ${program} failed: ${problem}")
    endif()
    if(dynamic MATCHES "NEEDED[^\n]*libQt6Widgets")
        list(APPEND failed ${program})
    else()
        message(STATUS "${program}: no libQt6Widgets")
    endif()
endforeach()
if(failed)
    message(FATAL_ERROR "these programs of the core need libQt6Widgets: ${failed}")
endif()
