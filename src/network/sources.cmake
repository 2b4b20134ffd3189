sf_core_sources(ProxyChoiceU.cpp)
sf_win_sources(HttpClientU.cpp)
