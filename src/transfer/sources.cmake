sf_core_sources(QuillonVersionU.cpp PackageReaderU.cpp)
sf_win_sources(QuillonUpdateReaderU.cpp WorkerThreadU.cpp)
