sf_win_sources(HttpClientU.cpp)
