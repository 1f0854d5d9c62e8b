# The installation test: cmake --install into a temporary prefix, then the installed programs run.
add_test(NAME install.prefix COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/install-test.sh ${PROJECT_BINARY_DIR})
# Both real-window tests start their own Xvfb with `xvfb-run -a`, which picks a free display number
# without locking it: two at once can pick the same one, so they never run together.
set_tests_properties(install.prefix PROPERTIES TIMEOUT 120 RESOURCE_LOCK xvfb)
