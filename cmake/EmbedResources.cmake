# quandel_embed_resources(DIR <folder>... OUTPUT <file.cpp> FUNCTION <qualified name>
#                         [GENERATED <folder>... DEPENDS <file>...])
# Compiles every file <folder>/<TYPE>/<id>.<ext> (TYPE one of FRM, PICTURE, PM, STRINGS; id a
# decimal number) of each folder into byte arrays and a (type, id) table, returned by the
# function named FUNCTION as a const CResourceTable&. Other files (READMEs) are left out. The
# output is regenerated when a resource changes or one is added (CONFIGURE_DEPENDS). GENERATED
# folders are filled at build time by the step whose output is named in DEPENDS: their files
# are listed when the table is written, not when the build is configured.
set(QUANDEL_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/EmbedResourcesScript.cmake)

function(quandel_embed_resources)
    cmake_parse_arguments(R "" "OUTPUT;FUNCTION" "DIR;GENERATED;DEPENDS" ${ARGN})
    set(inputs)
    foreach(type FRM PICTURE PM STRINGS)
        foreach(dir ${R_DIR})
            file(GLOB found CONFIGURE_DEPENDS ${dir}/${type}/*)
            list(APPEND inputs ${found})
        endforeach()
    endforeach()
    string(REPLACE ";" "|" dirs "${R_DIR};${R_GENERATED}")
    add_custom_command(OUTPUT ${R_OUTPUT}
        COMMAND ${CMAKE_COMMAND} "-DDIR=${dirs}" -DOUTPUT=${R_OUTPUT} -DFUNCTION=${R_FUNCTION}
            -P ${QUANDEL_EMBED_SCRIPT}
        DEPENDS ${inputs} ${R_DEPENDS} ${QUANDEL_EMBED_SCRIPT}
        COMMENT "Compiling resources into ${R_OUTPUT}"
        VERBATIM)
endfunction()
