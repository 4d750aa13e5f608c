# CPack pre-build script: strips the staged programs as dh_strip does, without the .comment and .note sections
# that plain strip leaves.
file(GLOB programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/*")
if(NOT programs)
    message(FATAL_ERROR "no programs in ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin")
endif()
foreach(program IN LISTS programs)
    execute_process(COMMAND strip --remove-section=.comment --remove-section=.note "${program}"
        COMMAND_ERROR_IS_FATAL ANY)
endforeach()
