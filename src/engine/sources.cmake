sf_core_sources(MessagesU.cpp EngineTextsU.cpp InstallationRulesU.cpp ProgressLogU.cpp VersionCompareU.cpp
  ProgressPlanU.cpp SwapJournalU.cpp ExitCodeU.cpp RunModeU.cpp)
sf_win_sources(MessagePayloadU.cpp InstallerThreadU.cpp InstallationsU.cpp InstallerDownloadsU.cpp
  InstallerPlacingU.cpp InstallerRegistryU.cpp InstallerSelfUpdateU.cpp InstallationSwapU.cpp)
sf_win_sources(ManifestTrustU.cpp)
