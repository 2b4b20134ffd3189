sf_core_sources(LogFormatU.cpp)
sf_win_sources(LogU.cpp)
