# The end-to-end suite: the real program under its own virtual X display, driven with key and
# pointer events, its picture and its sound captured and checked (tests/e2e/).

find_package(X11 REQUIRED COMPONENTS Xdamage)
# Reports when the program's window is redrawn and when keys reach it, on the X server's clock.
add_executable(window_watch ${CMAKE_SOURCE_DIR}/tests/e2e/window_watch.cpp)
target_link_libraries(window_watch PRIVATE X11::X11 X11::Xdamage)

# Debian's interpreter, where python3-numpy is installed, even when another python3 comes
# first on the PATH.
if(EXISTS /usr/bin/python3)
  set(TINKLEWOOD_E2E_PYTHON /usr/bin/python3 CACHE FILEPATH "Python for the end-to-end suite")
else()
  find_program(TINKLEWOOD_E2E_PYTHON python3 REQUIRED)
endif()

# One CTest entry per group of behaviours. They start the program many times, take the
# display and both cores, and time what they hear: never alongside anything else.
set(TINKLEWOOD_E2E_GROUPS startup playing song storm missing windows bad_songs stall)
foreach(group ${TINKLEWOOD_E2E_GROUPS})
  add_test(NAME e2e_${group}
    COMMAND ${TINKLEWOOD_E2E_PYTHON} -m unittest -v test_${group}
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/e2e)
  set_tests_properties(e2e_${group} PROPERTIES
    LABELS e2e
    RUN_SERIAL TRUE
    TIMEOUT 400
    ENVIRONMENT "TINKLEWOOD_SOURCE_DIR=${CMAKE_SOURCE_DIR};TINKLEWOOD_BUILD_DIR=${CMAKE_BINARY_DIR};TINKLEWOOD_WINDOW_WATCH=$<TARGET_FILE:window_watch>;PYTHONDONTWRITEBYTECODE=1")
endforeach()
