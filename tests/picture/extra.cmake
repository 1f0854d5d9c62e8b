# The layer tests draw a real analysis made with the engine tests' analysing helper.
target_sources(orvex_picture_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/engine/AnalysedSignal.cpp)
