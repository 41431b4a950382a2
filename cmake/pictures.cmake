# The pictures under res/ and the help text: checks that they load and fit.
tinklewood_test(pictures_test
  SOURCES ${CMAKE_SOURCE_DIR}/tests/pictures_test.cpp
  LIBS PkgConfig::STB)
