# pd_library(NAME SOURCES ... [MOC]) builds one static library of the project with the common options
# and an alias pd::<name without the pd_ prefix>.
function(pd_library name)
    cmake_parse_arguments(ARG "MOC" "" "SOURCES" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_link_libraries(${name} PUBLIC pd_options)
    if(ARG_MOC)
        set_target_properties(${name} PROPERTIES AUTOMOC ON)
    endif()
    string(REGEX REPLACE "^pd_" "" short ${name})
    add_library(pd::${short} ALIAS ${name})
endfunction()
