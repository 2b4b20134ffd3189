// Moments at which the end-to-end tests end the program from outside, to show what a killed run leaves.
// Only a build configured for the tests (CMake option SF_TEST_HOOKS, which scripts/build.sh turns on for
// the test tree) has them; in any other build TestPausePoint is an empty inline function.
#pragma once

namespace sf {

#ifdef SF_TEST_HOOKS
// With SF_TEST_PAUSE set to "<point>:<n>" in the environment, the n-th arrival at the named point logs
// "TestPausePoint: <point> <n>" and waits there (a few minutes at most) for the test to end the process.
void TestPausePoint(const wchar_t* point);
#else
inline void TestPausePoint(const wchar_t*) {}
#endif

}  // namespace sf
