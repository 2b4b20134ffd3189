sf_core_sources(ErrorU.cpp TextU.cpp TimeTextU.cpp)
sf_win_sources(WinErrorU.cpp Utils.cpp)
