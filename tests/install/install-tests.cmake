# The installation test: cmake --install into a temporary prefix, then the installed programs run.
add_test(NAME install.prefix COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/install-test.sh ${PROJECT_BINARY_DIR})
set_tests_properties(install.prefix PROPERTIES TIMEOUT 120 ENVIRONMENT "ORVEX_FFT_PLANS=estimate")
