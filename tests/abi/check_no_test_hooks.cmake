# cmake -DLIBRARY=libvrt.so -DNM=nm -P check_no_test_hooks.cmake
# The shipped object carries none of the hooks with which the tests make the
# library fail on purpose (they are built into the test archive only). The
# symbol table must be there for the check to mean anything, so a known
# internal name has to show up.
execute_process(COMMAND ${NM} -C ${LIBRARY} OUTPUT_VARIABLE raw RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
if(NOT raw MATCHES "vrt::frame::init_runs")
  message(STATUS "no symbol table in ${LIBRARY}: nothing to check")
  return()
endif()
string(REGEX MATCHALL "vrt::frame::(set_selftest_[a-z_]*|set_known_answer_tests|selftest_count|selftest_at)" hooks "${raw}")
if(hooks)
  list(REMOVE_DUPLICATES hooks)
  message(FATAL_ERROR "test hooks in the shipped library: ${hooks}")
endif()
message(STATUS "no self-test hooks in ${LIBRARY}")
