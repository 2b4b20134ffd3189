sf_core_sources(QuillonVersionU.cpp PackageReaderU.cpp)
