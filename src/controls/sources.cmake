sf_core_sources(GradientColorsU.cpp ControlGeometryU.cpp ProgressRangeU.cpp)
sf_win_sources(WindowU.cpp GraphicControlsU.cpp GraphicPanelU.cpp NativeControlsU.cpp GradientBitBtnU.cpp
  ProgressPanelU.cpp)
