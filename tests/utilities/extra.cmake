# The utilities tests reuse the hand-built WAVE files and the Python RIFF check of the audio-file tests.
target_sources(orvex_utilities_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/audiofile/SoundFixtures.cpp)
