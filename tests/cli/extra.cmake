# The command-line tests reuse the hand-built WAVE files and the Python RIFF check of the
# audio-file tests, run some commands in-process and others through the orvex-cli binary,
# which must be built first.
target_sources(orvex_cli_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/audiofile/SoundFixtures.cpp)
if(TARGET orvex-cli)
  target_link_libraries(orvex_cli_tests PRIVATE orvex_cli_commands)
  add_dependencies(orvex_cli_tests orvex-cli)
endif()
