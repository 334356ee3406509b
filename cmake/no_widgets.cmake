# The core of the program needs no window. tabulon_forbid_widgets(TARGET...) fails the
# configuration when one of the targets links Qt Widgets, directly or through any library in
# its link closure, and names the path by which it does:
#   tabulon_update must not link Qt Widgets, but does:
#     tabulon_update -> tabulon_platform_qt -> Qt6::Widgets
# tabulon_forbid_qt(MODULE TARGET...) does the same for another Qt module (Gui, say).
# The closure is read from the targets' LINK_LIBRARIES and INTERFACE_LINK_LIBRARIES, imported
# targets (Qt's own) included; a static library's private links ($<LINK_ONLY:...>) count, since
# whoever links the library links them too.

# A link item as a name to follow, or the empty text for items that are no library: CMake's
# directory markers (::@...) and generator expressions other than $<LINK_ONLY:...>.
function(_tabulon_link_item item result)
    if(item MATCHES "^\\$<LINK_ONLY:(.+)>$")
        set(item "${CMAKE_MATCH_1}")
    endif()
    if(item MATCHES "^::@" OR item MATCHES "^\\$<")
        set(item "")
    endif()
    set(${result} "${item}" PARENT_SCOPE)
endfunction()

# Whether a link item is the Qt module: its target (Qt6::Gui, Qt::Gui) or its library file.
function(_tabulon_is_qt module item result)
    if(item MATCHES "^Qt6?::${module}$" OR item MATCHES "(^|/|-l)(lib)?Qt6${module}([.]|$)")
        set(${result} TRUE PARENT_SCOPE)
    else()
        set(${result} FALSE PARENT_SCOPE)
    endif()
endfunction()

# The direct links of a target (what it links itself and what it hands on).
function(_tabulon_direct_links target result)
    get_target_property(aliased ${target} ALIASED_TARGET)
    if(aliased)
        set(target ${aliased})
    endif()
    set(links "")
    get_target_property(imported ${target} IMPORTED)
    if(NOT imported)
        get_target_property(own ${target} LINK_LIBRARIES)
        if(own)
            list(APPEND links ${own})
        endif()
    endif()
    get_target_property(handed ${target} INTERFACE_LINK_LIBRARIES)
    if(handed)
        list(APPEND links ${handed})
    endif()
    set(${result} "${links}" PARENT_SCOPE)
endfunction()

function(tabulon_forbid_widgets)
    tabulon_forbid_qt(Widgets ${ARGN})
endfunction()

function(tabulon_forbid_qt module)
    foreach(start IN LISTS ARGN)
        if(NOT TARGET ${start})
            message(FATAL_ERROR "tabulon_forbid_qt: ${start} is no target")
        endif()
        set(queue ${start})
        set(paths ${start})
        set(seen "")
        while(queue)
            list(POP_FRONT queue current)
            list(POP_FRONT paths path)
            _tabulon_is_qt(${module} "${current}" found)
            if(found)
                # The path on a line of its own, which CMake does not wrap.
                message(FATAL_ERROR "${start} must not link Qt ${module}, but does:\n  ${path}")
            endif()
            if(current IN_LIST seen OR NOT TARGET ${current})
                continue()
            endif()
            list(APPEND seen ${current})
            _tabulon_direct_links(${current} links)
            foreach(raw IN LISTS links)
                _tabulon_link_item("${raw}" item)
                if(item)
                    list(APPEND queue "${item}")
                    list(APPEND paths "${path} -> ${item}")
                endif()
            endforeach()
        endwhile()
    endforeach()
endfunction()
