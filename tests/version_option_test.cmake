# PROGRAM --version must print "NAME VERSION" alone and exit with 0.
#   cmake -DPROGRAM=FILE -DNAME=NAME -DVERSION=X.Y.Z -P version_option_test.cmake
execute_process(COMMAND ${PROGRAM} --version
  OUTPUT_VARIABLE printed ERROR_VARIABLE complained RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT printed STREQUAL "${NAME} ${VERSION}\n" OR complained)
  message(FATAL_ERROR "${NAME} --version exited with ${status}, printed \"${printed}\""
                      " and complained \"${complained}\"; expected \"${NAME} ${VERSION}\"")
endif()
