// The packages of the package reader's tests, as tables: read from memory (PackageReaderTest) and from
// package files on disk (PackageFileTest, under Wine) alike. The packages come from make_packages.py.
#pragma once

namespace sf::test {

// The entry most fixtures hold, as the manifest would name it.
inline constexpr const wchar_t* kLzmaEntry = L"bin\\plugins\\a.dll";

// Packages that other writers made, each with the name of its entry; "<name>.content" is the entry's content.
struct TGoodPackage {
  const char* name;
  const wchar_t* entry;
};
inline constexpr TGoodPackage kGoodPackages[] = {
    {"py_lzma", L"bin\\plugins\\a.dll"},
    {"py_deflate", L"bin\\plugins\\a.dll"},
    {"py_stored", L"readme.txt"},
    {"py_lzma_descriptor", L"data\\b.bin"},
    {"py_deflate_descriptor", L"data\\b.bin"},
    {"py_lzma_empty", L"empty.dat"},
    {"py_lzma_utf8", L"dados\\configura\u00E7\u00E3o.ini"},
    {"py_lzma_comment", L"a.txt"},
    {"py_lzma_two_entries", L"first.txt"},
    {"py_lzma_zip64", L"bin\\plugins\\a.dll"},
    {"7z_lzma", L"bin\\quillon.exe"},
    {"7z_lzma_no_end_marker", L"quillon.exe"},
    {"7z_lzma_small_dictionary", L"large.txt"},
    {"7z_deflate", L"plugins\\x.dll"},
    {"7z_empty", L"empty.dat"},
};

// Damaged and unsafe packages, each refused with a TPackageError that holds `message`. Those refused when
// opened leave the folders untouched: the unsafe names never reach the file system, and a size the data
// cannot hold is refused before anything is decoded.
struct TBadPackage {
  const char* name;
  const wchar_t* expectedName;  // the manifest's name of the file
  const wchar_t* message;
  bool refusedWhenOpened;
};
inline constexpr TBadPackage kBadPackages[] = {
    {"empty", kLzmaEntry, L"the package is empty", true},
    {"not_zip", kLzmaEntry, L"not a ZIP archive", true},
    {"random_body", kLzmaEntry, L"not a ZIP archive", true},
    {"archive_cut_in_half", kLzmaEntry, L"not a ZIP archive", true},
    {"no_entries", kLzmaEntry, L"holds no entries", true},
    {"lzma_property_length_4", kLzmaEntry, L"LZMA property length is 4, not 5", true},
    {"lzma_stream_truncated", kLzmaEntry, L"LZMA stream is truncated", false},
    {"lzma_flipped_byte", kLzmaEntry, L"Invalid package: ", false},
    {"crc_mismatch", kLzmaEntry, L"CRC-32", false},
    {"declared_size_too_small", kLzmaEntry, L"does not end at the declared size", false},
    {"declared_size_too_large", kLzmaEntry, L"ends before the declared size", false},
    {"declared_size_beyond_ratio", kLzmaEntry, L"the declared size 4294967280 is beyond what LZMA data", true},
    {"deflate_beyond_ratio", kLzmaEntry, L"is beyond what Deflate data", true},
    {"stored_size_mismatch", L"readme.txt", L"differs from the stored data", true},
    {"descriptor_mismatch", kLzmaEntry, L"data descriptor does not match", true},
    {"method_bzip2", L"a.txt", L"compression method 12 is not supported", true},
    {"encrypted", L"a.txt", L"encrypted", true},
    {"folder_first", kLzmaEntry, L"folder, not a file: bin\\", true},
    {"unsafe_parent", kLzmaEntry, L"unsafe entry name: ..\\evil.txt", true},
    {"unsafe_inner_parent", kLzmaEntry, L"unsafe entry name", true},
    {"unsafe_absolute", kLzmaEntry, L"unsafe entry name", true},
    {"unsafe_backslash_root", kLzmaEntry, L"unsafe entry name", true},
    {"unsafe_drive", kLzmaEntry, L"unsafe entry name: C:\\evil.txt", true},
    {"unsafe_drive_relative", kLzmaEntry, L"unsafe entry name", true},
    {"unsafe_unc", kLzmaEntry, L"unsafe entry name", true},
    {"unsafe_stream", kLzmaEntry, L"unsafe entry name", true},
    {"unsafe_device", kLzmaEntry, L"unsafe entry name: CON", true},
    {"unsafe_device_extension", kLzmaEntry, L"unsafe entry name", true},
    {"unsafe_com_port", kLzmaEntry, L"unsafe entry name", true},
    {"unsafe_long_segment", kLzmaEntry, L"unsafe entry name: bin\\xxxxxxxx", true},
    // A package holds the file the manifest names, whatever its letter case, and no other.
    {"py_lzma", L"a.dll", L"the entry is named bin\\plugins\\a.dll, not a.dll as the manifest says", true},
    {"py_lzma", L"bin\\plugins\\b.dll", L"not bin\\plugins\\b.dll as the manifest says", true},
    {"py_stored", L"", L"the entry is named readme.txt, not  as the manifest says", true},
    // Each extraction worker allocates the dictionary: at most the larger of 64 MiB and the file's
    // declared size, never above 256 MiB.
    {"lzma_dictionary_above_64m", kLzmaEntry, L"the LZMA dictionary of 67108865 bytes is larger than a file of 300000 bytes may ask for", true},
    {"lzma_dictionary_above_256m", kLzmaEntry, L"the LZMA dictionary of 268435457 bytes", true},
};

}  // namespace sf::test
