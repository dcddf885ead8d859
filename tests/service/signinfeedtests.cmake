# Version feed: comparison and evaluation from feed documents on disk.
add_executable(feedtests feedtests.cpp)
target_link_libraries(feedtests PRIVATE ovservice ovtestmain)
target_compile_definitions(feedtests PRIVATE FEED_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/feeddata")
gtest_discover_tests(feedtests PROPERTIES LABELS unit DISCOVERY_TIMEOUT 60)

# Sign-in bytes against a scripted responder holding the private key.
add_executable(signinwiretests signinwiretests.cpp)
target_link_libraries(signinwiretests PRIVATE ovservice ovrsa ovloopback ovtestmain)
gtest_discover_tests(signinwiretests PROPERTIES LABELS unit DISCOVERY_TIMEOUT 60)

# Sign-in and the feed against the stand-in service.
add_executable(signintests signintests.cpp feedservicetests.cpp)
target_link_libraries(signintests PRIVATE ovservice ovtestsupport ovtestmain)
gtest_discover_tests(signintests PROPERTIES LABELS unit DISCOVERY_TIMEOUT 60)
