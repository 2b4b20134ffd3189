sf_core_sources(CommandLineU.cpp HelpTextsU.cpp)
sf_win_sources(StartupU.cpp HelpFormU.cpp)
