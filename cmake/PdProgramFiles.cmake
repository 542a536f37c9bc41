# The program finds its language files, "config/" and "help/" in its own folder. In the build tree
# that folder is the top of the build; installed, it is PD_INSTALL_PROGRAM_DIR below the prefix,
# and bin/ holds a link to the program there.
set(PD_INSTALL_PROGRAM_DIR lib/paperdart)

# pd_program_files(TARGET [SUBDIR dir] FILES ...) copies files of the current source folder beside
# the program in the build tree at build time and installs them into the program folder.
function(pd_program_files target)
    cmake_parse_arguments(ARG "" "SUBDIR" "FILES" ${ARGN})
    set(dir ${PROJECT_BINARY_DIR})
    set(destination ${PD_INSTALL_PROGRAM_DIR})
    if(ARG_SUBDIR)
        string(APPEND dir /${ARG_SUBDIR})
        string(APPEND destination /${ARG_SUBDIR})
    endif()
    set(outputs)
    foreach(file IN LISTS ARG_FILES)
        get_filename_component(name ${file} NAME)
        add_custom_command(OUTPUT ${dir}/${name}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
            COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_CURRENT_SOURCE_DIR}/${file} ${dir}/${name}
            DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${file}
            COMMENT "Beside the program: ${ARG_SUBDIR} ${name}")
        list(APPEND outputs ${dir}/${name})
    endforeach()
    add_custom_target(${target} ALL DEPENDS ${outputs})
    install(FILES ${ARG_FILES} DESTINATION ${destination})
endfunction()
