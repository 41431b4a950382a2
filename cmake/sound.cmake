# The sound layer: its OpenAL Soft engine and the tests of the engine and of the samples.
target_sources(tinklewood_audio PRIVATE ${CMAKE_SOURCE_DIR}/src/OpenAlSound.cpp)

# The engine, rendered through OpenAL Soft's loopback device: no sound card needed.
tinklewood_test(sound_engine_test
  SOURCES ${CMAKE_SOURCE_DIR}/tests/sound_engine_test.cpp ${CMAKE_SOURCE_DIR}/tests/sound_fixtures.cpp
  LIBS tinklewood_audio)

# What the program does with no device and at exit; each case runs in a child process of its
# own, because OpenAL Soft reads its configuration once per process.
tinklewood_test(sound_process_test
  SOURCES ${CMAKE_SOURCE_DIR}/tests/sound_process_test.cpp ${CMAKE_SOURCE_DIR}/tests/sound_fixtures.cpp
  LIBS tinklewood_audio)

# The committed samples under res/sounds/.
tinklewood_test(sound_samples_test
  SOURCES ${CMAKE_SOURCE_DIR}/tests/sound_samples_test.cpp ${CMAKE_SOURCE_DIR}/tests/sample_pitch.cpp
  LIBS tinklewood_core PkgConfig::SNDFILE)
