# Resource modules: a Windows resource script compiled by GNU windres into a .res image,
# carried in the ELF section ".tvkres" of a shared library that exports only LibMain and
# getLangInstance.

set(TAVISK_MODULE_ENTRY ${CMAKE_SOURCE_DIR}/lang/module_entry.c)
set(TAVISK_MODULE_MAP ${CMAKE_SOURCE_DIR}/lang/module.map)

# tavisk_compile_res(<output.res> <script.rc> [INCLUDE_DIRS dir...] [DEPENDS file...])
function(tavisk_compile_res output script)
    cmake_parse_arguments(ARG "" "" "INCLUDE_DIRS;DEPENDS" ${ARGN})
    set(includes)
    foreach(dir ${ARG_INCLUDE_DIRS})
        list(APPEND includes --include-dir=${dir})
    endforeach()
    get_filename_component(script_dir ${script} DIRECTORY)
    add_custom_command(
        OUTPUT ${output}
        COMMAND ${WINDRES} --preprocessor=cpp -c 65001 --include-dir=${script_dir}
                ${includes} -O res ${script} -o ${output}
        DEPENDS ${script} ${ARG_DEPENDS}
        IMPLICIT_DEPENDS C ${script}
        WORKING_DIRECTORY ${script_dir}
        COMMENT "Compiling resources ${script}"
        VERBATIM)
endfunction()

# tavisk_add_resource_module(<target> <res file> [OUTPUT_NAME name] [OUTPUT_DIRECTORY dir])
# Builds <target> as a shared library holding <res file> in its ".tvkres" section.
function(tavisk_add_resource_module target res)
    cmake_parse_arguments(ARG "" "OUTPUT_NAME;OUTPUT_DIRECTORY" "" ${ARGN})
    set(asm ${CMAKE_CURRENT_BINARY_DIR}/${target}_res.S)
    file(WRITE ${asm}.in
        "\t.section .tvkres,\"a\",@progbits\n"
        "\t.balign 16\n"
        "\t.incbin \"@RES_FILE@\"\n"
        "\t.section .note.GNU-stack,\"\",@progbits\n")
    set(RES_FILE ${res})
    configure_file(${asm}.in ${asm} @ONLY)
    set_source_files_properties(${asm} PROPERTIES OBJECT_DEPENDS ${res})
    add_library(${target} MODULE ${TAVISK_MODULE_ENTRY} ${asm})
    set_target_properties(${target} PROPERTIES PREFIX "" C_VISIBILITY_PRESET hidden
                          LINK_DEPENDS ${TAVISK_MODULE_MAP})
    if(ARG_OUTPUT_NAME)
        set_target_properties(${target} PROPERTIES OUTPUT_NAME ${ARG_OUTPUT_NAME})
    endif()
    if(ARG_OUTPUT_DIRECTORY)
        set_target_properties(${target} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIRECTORY})
    endif()
    # The module is resource data and two tiny functions: never instrumented.
    target_compile_options(${target} PRIVATE -fno-sanitize=all)
    target_link_options(${target} PRIVATE -fno-sanitize=all
                        -Wl,--version-script=${TAVISK_MODULE_MAP} -Wl,--no-undefined)
    target_link_libraries(${target} PRIVATE ${CMAKE_DL_LIBS})
endfunction()
