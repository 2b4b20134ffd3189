sf_core_sources(ErrorU.cpp TextU.cpp TimeTextU.cpp PathRulesU.cpp PathGuardU.cpp DiskSpaceU.cpp)
sf_win_sources(WinErrorU.cpp RegistryU.cpp ThreadU.cpp StopSignalU.cpp DigestU.cpp SingleInstanceU.cpp
  MachineIdentityU.cpp FileFactsU.cpp ResourcesU.cpp LocalTimeU.cpp)
sf_core_sources(HexU.cpp MachineIdU.cpp LanguageU.cpp UnhandledErrorU.cpp)
