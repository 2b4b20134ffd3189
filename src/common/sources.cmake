sf_core_sources(ErrorU.cpp TextU.cpp TimeTextU.cpp PathRulesU.cpp PathGuardU.cpp)
sf_win_sources(WinErrorU.cpp Utils.cpp RegistryU.cpp ThreadU.cpp FileOpsU.cpp)
sf_core_sources(HexU.cpp MachineIdU.cpp)
