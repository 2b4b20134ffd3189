sf_win_sources(MainFormInstall.cpp FrameBaseU.cpp FrameInstallU.cpp FrameProgressU.cpp FrameMessagesU.cpp
  FrameCreateInstallU.cpp FrameSelectInstallU.cpp InternetConfigU.cpp)
sf_core_sources(PageLayoutU.cpp PageFlowU.cpp NameTextsU.cpp)
