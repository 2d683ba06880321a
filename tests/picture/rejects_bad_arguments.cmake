# Bad arguments and unusable output paths end make-picture with a message and
# a nonzero exit, and leave no file behind.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/existing-directory")

function(expect_failure case)
  execute_process(COMMAND "${GENERATOR}" ${ARGN}
                  RESULT_VARIABLE result ERROR_VARIABLE message)
  if(result EQUAL 0)
    message(SEND_ERROR "${case}: make-picture succeeded")
  elseif(message STREQUAL "")
    message(SEND_ERROR "${case}: make-picture said nothing on stderr")
  endif()
endfunction()

expect_failure("no arguments")
expect_failure("two arguments" "${WORK}/a.rix" "${WORK}/b.rix")
expect_failure("empty path" "")
expect_failure("missing directory" "${WORK}/missing/picture.rix")
expect_failure("path is a directory" "${WORK}/existing-directory")

file(GLOB_RECURSE left RELATIVE "${WORK}" "${WORK}/*")
if(left)
  message(SEND_ERROR "files left behind: ${left}")
endif()
