# The command-line tests run some commands in-process and others through the orvex-cli
# binary, which must be built first.
if(TARGET orvex-cli)
  target_link_libraries(orvex_cli_tests PRIVATE orvex_cli_commands)
  add_dependencies(orvex_cli_tests orvex-cli)
endif()
