# The Python package carries the project's version: python/tessel/_version.py
# must say __version__ = "VERSION".
#   cmake -DSOURCE_DIR=DIR -DVERSION=X.Y.Z -P python_version_test.cmake
set(init ${SOURCE_DIR}/python/tessel/_version.py)
file(STRINGS ${init} line REGEX "^__version__ *=")
if(NOT line MATCHES "^__version__ *= *[\"']([^\"']*)[\"']")
  message(FATAL_ERROR "${init} has no __version__ = \"${VERSION}\" line")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL VERSION)
  message(FATAL_ERROR "${init} says __version__ = \"${CMAKE_MATCH_1}\"; the project is ${VERSION}"
                      " (project() in CMakeLists.txt)")
endif()
