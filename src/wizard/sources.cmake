sf_core_sources(LanguageU.cpp)
sf_win_sources(MainFormInstall.cpp)
sf_core_sources(PageLayoutU.cpp)
