# The hands: model, pose tables and the two global hands (no GL), their drawing, and tests.
target_sources(tinklewood_core PRIVATE
  ${CMAKE_SOURCE_DIR}/src/Hand.cpp
  ${CMAKE_SOURCE_DIR}/src/Finger.cpp
  ${CMAKE_SOURCE_DIR}/src/HandTables.cpp)
target_sources(tinklewood_gl PRIVATE ${CMAKE_SOURCE_DIR}/src/HandDraw.cpp)

tinklewood_test(hand_test SOURCES tests/hand_test.cpp LIBS tinklewood_core)
tinklewood_test(hand_draw_test
  SOURCES tests/hand_draw_test.cpp tests/gl_test_main.cpp
  LIBS tinklewood_gl OWN_MAIN)
