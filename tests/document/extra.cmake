# The document tests reuse the hand-built WAVE files, ffmpeg encoding and the Python RIFF check
# of the audio-file tests.
target_sources(orvex_document_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/audiofile/SoundFixtures.cpp)
