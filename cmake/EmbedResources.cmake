# quandel_embed_resources(DIR <folder> OUTPUT <file.cpp> FUNCTION <qualified name>)
# Compiles every file <folder>/<TYPE>/<id>.<ext> (TYPE one of FRM, PICTURE, PM, STRINGS; id a
# decimal number) into byte arrays and a (type, id) table, returned by the function named
# FUNCTION as a const CResourceTable&. Other files (READMEs) are left out. The output is
# regenerated when a resource changes or one is added (CONFIGURE_DEPENDS).
set(QUANDEL_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/EmbedResourcesScript.cmake)

function(quandel_embed_resources)
    cmake_parse_arguments(R "" "DIR;OUTPUT;FUNCTION" "" ${ARGN})
    set(inputs)
    foreach(type FRM PICTURE PM STRINGS)
        file(GLOB found CONFIGURE_DEPENDS ${R_DIR}/${type}/*)
        list(APPEND inputs ${found})
    endforeach()
    add_custom_command(OUTPUT ${R_OUTPUT}
        COMMAND ${CMAKE_COMMAND} -DDIR=${R_DIR} -DOUTPUT=${R_OUTPUT} -DFUNCTION=${R_FUNCTION}
            -P ${QUANDEL_EMBED_SCRIPT}
        DEPENDS ${inputs} ${QUANDEL_EMBED_SCRIPT}
        COMMENT "Compiling resources of ${R_DIR}"
        VERBATIM)
endfunction()
