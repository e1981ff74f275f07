# The start sequence of tarn_amp, run in user space on recording kernel
# operations. Included by the top-level CMakeLists.txt.
add_executable(kmod_tests ${CMAKE_SOURCE_DIR}/kmod/tests/tarnAmpTest.cpp ${CMAKE_SOURCE_DIR}/kmod/tarnAmpCore.c)
target_include_directories(kmod_tests PRIVATE ${CMAKE_SOURCE_DIR}/kmod)
target_link_libraries(kmod_tests PRIVATE GTest::gtest GTest::gtest_main)
target_compile_options(kmod_tests PRIVATE ${CORVANE_TEST_COMPILE_OPTIONS})
gtest_discover_tests(kmod_tests PROPERTIES LABELS kmod DISCOVERY_TIMEOUT 60)
