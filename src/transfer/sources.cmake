sf_core_sources(QuillonVersionU.cpp PackageReaderU.cpp WorkQueuesU.cpp)
sf_win_sources(QuillonUpdateReaderU.cpp WorkerThreadU.cpp SignatureU.cpp FileOpsU.cpp PackageFileU.cpp)
