# Compile checks of the key rows: the good rows of every kind compile, and a
# row whose member, stored shape, getter type or kind disagree fails the
# build with its message. Included by the top-level CMakeLists.txt.
set(KEY_ROW_CHECK ${CMAKE_SOURCE_DIR}/Config/tests/compile/keyRowCheck.cpp)
set(KEY_ROW_CASES
  "0|"
  "1|its CType is not the getter type of its stored shape"
  "2|the row's stored shape disagrees with its member"
  "3|its CType is not the getter type of its stored shape"
  "4|its kind does not fit its element count, shape or name"
  "5|the row's stored shape disagrees with its member"
  "6|the row reaches beyond the unit identity record")
foreach(entry ${KEY_ROW_CASES})
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 case)
  list(LENGTH parts n)
  set(expect "")
  if(n GREATER 1)
    list(GET parts 1 expect)
  endif()
  add_test(NAME KeyRowCheck.Case${case}
    COMMAND ${CMAKE_COMMAND} -DCXX=${CMAKE_CXX_COMPILER} -DSOURCE=${KEY_ROW_CHECK}
      -DINCLUDE=${CMAKE_SOURCE_DIR} -DCASE=${case} "-DEXPECT=${expect}"
      -P ${CMAKE_SOURCE_DIR}/Config/tests/compile/runKeyRowCheck.cmake)
  set_tests_properties(KeyRowCheck.Case${case} PROPERTIES LABELS config)
endforeach()
