sf_core_sources(ReportTextU.cpp)
sf_win_sources(ExceptionObjectU.cpp StackTraceU.cpp)
