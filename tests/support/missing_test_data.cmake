# cmake -DPROGRAM=<test program> -DFILTER=<gtest filter> -DMISSING=<folder that does not exist>
#   [-DEMULATOR=<the program's emulator, when cross-compiled>] -P missing_test_data.cmake
# A test program whose third-party data is missing (QV_TESTDATA_DIR naming a folder that does not
# exist) still lists its cases, so the build's test discovery never fails, and the tests FILTER
# selects fail with a message naming the missing path.
execute_process(COMMAND ${CMAKE_COMMAND} -E env QV_TESTDATA_DIR=${MISSING} ${EMULATOR} ${PROGRAM}
    --gtest_list_tests
  RESULT_VARIABLE status OUTPUT_VARIABLE listing ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR listing STREQUAL "")
  message(FATAL_ERROR "listing the cases without the data failed (${status}): ${errors}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E env QV_TESTDATA_DIR=${MISSING} ${EMULATOR} ${PROGRAM}
    --gtest_filter=${FILTER}
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(status EQUAL 0)
  message(FATAL_ERROR "the tests passed without their data:\n${output}")
endif()
string(FIND "${output}" "test data missing: ${MISSING}/" at)
if(at EQUAL -1)
  message(FATAL_ERROR "no message naming the missing data:\n${output}${errors}")
endif()
