# The command-line tests reuse the hand-built WAVE files and the Python RIFF check of the
# audio-file tests, and need the orvex-cli binary built first.
target_sources(orvex_cli_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/audiofile/SoundFixtures.cpp)
if(TARGET orvex-cli)
  add_dependencies(orvex_cli_tests orvex-cli)
endif()
