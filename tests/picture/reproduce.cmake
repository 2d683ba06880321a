# make-picture must write exactly the committed resources/picture.rix.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
execute_process(COMMAND "${GENERATOR}" "${WORK}/picture.rix" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "make-picture failed: ${result}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${WORK}/picture.rix" "${PICTURE}"
                RESULT_VARIABLE different)
if(different)
  message(FATAL_ERROR "make-picture no longer writes ${PICTURE}; if the change is meant, "
                      "run make-picture on that path and commit the result")
endif()
