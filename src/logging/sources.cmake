sf_core_sources(LogFormatU.cpp)
sf_win_sources(LogU.cpp)
sf_core_sources(SystemNamesU.cpp VMDetectorU.cpp)
sf_win_sources(SystemDiagU.cpp WindowsFactsU.cpp TestPauseU.cpp)
