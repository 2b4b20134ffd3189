sf_win_sources(ExceptionObjectU.cpp)
