# Run by CPack on the staged files before it packs them: removes the
# compiler's .comment and .note sections from the already stripped program,
# as Debian's own packaging does.
file(GLOB_RECURSE _programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/imagebench")
foreach(_program ${_programs})
  execute_process(COMMAND strip --remove-section=.comment --remove-section=.note "${_program}"
                  RESULT_VARIABLE _result)
  if(NOT _result EQUAL 0)
    message(FATAL_ERROR "strip failed on ${_program}")
  endif()
endforeach()
if(NOT _programs)
  message(FATAL_ERROR "no bin/imagebench under ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
