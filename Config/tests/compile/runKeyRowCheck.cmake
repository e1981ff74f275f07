# One compile check: case 0 must compile; any other case must fail with the
# expected message (a failure for another reason does not count).
execute_process(
  COMMAND ${CXX} -std=c++20 -fsyntax-only -Wall -Wextra -Werror -I${INCLUDE} -DCASE=${CASE} ${SOURCE}
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(EXPECT STREQUAL "")
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "the good rows do not compile:\n${err}")
  endif()
else()
  if(result EQUAL 0)
    message(FATAL_ERROR "case ${CASE} compiled, but its row disagrees with its member")
  endif()
  string(FIND "${err}" "${EXPECT}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "case ${CASE} failed without \"${EXPECT}\":\n${err}")
  endif()
  message(STATUS "case ${CASE} fails to compile as it should: ${EXPECT}")
endif()
