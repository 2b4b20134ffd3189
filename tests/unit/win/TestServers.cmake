# The servers the Windows unit tests talk to (fault server, nginx, tinyproxy), started once around the
# unit test run as a CTest fixture. The tests find their addresses in the file SF_TEST_SERVERS names.
find_program(SF_PYTHON3 NAMES python3 HINTS /usr/bin REQUIRED)
set(SF_TEST_SERVERS_DIR "${CMAKE_BINARY_DIR}/test-servers")
set(SF_SERVERS_FIXTURE "${CMAKE_CURRENT_LIST_DIR}/servers_fixture.py")

add_test(NAME test_servers.start COMMAND "${SF_PYTHON3}" "${SF_SERVERS_FIXTURE}" start "${SF_TEST_SERVERS_DIR}")
add_test(NAME test_servers.stop COMMAND "${SF_PYTHON3}" "${SF_SERVERS_FIXTURE}" stop "${SF_TEST_SERVERS_DIR}")
set_tests_properties(test_servers.start PROPERTIES FIXTURES_SETUP sf_test_servers TIMEOUT 120)
set_tests_properties(test_servers.stop PROPERTIES FIXTURES_CLEANUP sf_test_servers TIMEOUT 60)

set_property(TEST unit_win.wine APPEND PROPERTY FIXTURES_REQUIRED sf_test_servers)
set_property(TEST unit_win.wine APPEND PROPERTY ENVIRONMENT "SF_TEST_SERVERS=Z:${SF_TEST_SERVERS_DIR}/servers.txt")

# The HTTPS test puts the test CA into the current user's root store.
target_link_libraries(unit_win PRIVATE crypt32)

# Wine's WinHTTP takes a proxy from http_proxy when a client makes no choice of its own; the loopback
# servers must be reached directly whatever the machine's environment says.
set_property(TEST unit_win.wine APPEND PROPERTY ENVIRONMENT "http_proxy=")
