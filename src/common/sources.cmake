sf_core_sources(TextU.cpp TimeTextU.cpp)
sf_win_sources(WinErrorU.cpp Utils.cpp)
