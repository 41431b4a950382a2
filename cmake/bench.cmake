# Drawing at frame rate without a GPU: the merged key meshes, the benchmark that measures
# the scene against the immediate drawing, and the tests that hold the two pictures together.
target_sources(tinklewood_gl PRIVATE ${CMAKE_SOURCE_DIR}/src/KeyboardMesh.cpp)

add_executable(tinklewood_bench ${CMAKE_SOURCE_DIR}/bench/bench.cpp)
target_include_directories(tinklewood_bench PRIVATE ${CMAKE_SOURCE_DIR}/bench)
target_link_libraries(tinklewood_bench PRIVATE tinklewood_gl tinklewood_audio)

tinklewood_test(keyboard_mesh_test SOURCES tests/keyboard_mesh_test.cpp LIBS tinklewood_gl)
tinklewood_test(fast_drawing_test
  SOURCES tests/fast_drawing_test.cpp tests/gl_test_main.cpp
  LIBS tinklewood_gl
  OWN_MAIN)
