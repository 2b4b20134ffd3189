sf_win_sources(WindowU.cpp)
