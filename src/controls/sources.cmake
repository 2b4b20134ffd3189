sf_core_sources(GradientColorsU.cpp ControlGeometryU.cpp ProgressRangeU.cpp)
sf_win_sources(WindowU.cpp)
