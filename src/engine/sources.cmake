sf_core_sources(MessagesU.cpp EngineTextsU.cpp InstallationRulesU.cpp ProgressLogU.cpp)
sf_win_sources(MessagePayloadU.cpp InstallerThreadU.cpp InstallationsU.cpp)
