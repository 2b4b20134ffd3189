#include "transfer/PackageReaderU.h"

// 7-Zip's LZMA decoder; its 7zTypes.h defines Windows error names on other systems, so this is the one
// file that includes it.
#include <LzmaDec.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/DiskSpaceU.h"
#include "common/PathGuardU.h"
#include "common/PathRulesU.h"
#include "common/TextU.h"

namespace sf {

namespace {

constexpr std::uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr std::uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr std::uint32_t kEndRecordSignature = 0x06054b50;
constexpr std::uint32_t kZip64EndRecordSignature = 0x06064b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::uint32_t kDataDescriptorSignature = 0x08074b50;

constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::size_t kZip64EndRecordSize = 56;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kMaxCommentSize = 0xFFFF;
constexpr std::uint32_t kZip64Marker = 0xFFFFFFFF;

constexpr std::uint16_t kMethodStored = 0;
constexpr std::uint16_t kMethodDeflate = 8;
constexpr std::uint16_t kMethodLzma = 14;

constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlagDataDescriptor = 0x0008;
constexpr std::uint16_t kFlagUtf8Name = 0x0800;

constexpr std::uint16_t kExtraZip64 = 0x0001;
constexpr std::uint16_t kExtraUnicodePath = 0x7075;

// Method 14 data: 2 bytes of encoder version, a 2-byte property length, the properties, the stream.
constexpr std::size_t kLzmaHeaderSize = 4 + LZMA_PROPS_SIZE;

// The LZMA dictionary a package may ask for: up to 64 MiB (the largest any encoder's presets choose) or
// up to the file's declared size, never above 256 MiB. Each extraction worker holds one, so a header
// may not make a small package cost gigabytes of memory.
constexpr std::uint64_t kLzmaDictionaryFloor = std::uint64_t{64} << 20;
constexpr std::uint64_t kLzmaDictionaryCeiling = std::uint64_t{256} << 20;

// The best ratios the formats can reach are about 1030:1 for Deflate and 7070:1 for LZMA (both measured
// on zeros at the strongest settings). A declared size beyond these bounds cannot be true, and believing
// it would let a tiny package fill the disk.
constexpr std::uint64_t kMaxDeflateRatio = 1040;
constexpr std::uint64_t kMaxLzmaRatio = 8192;

// Output is decoded and written in pieces of this size, so a large file never sits in memory twice.
constexpr std::size_t kChunkSize = std::size_t{1} << 20;
// The entry's data is read from its source in pieces of this size: enough to keep the decoder busy
// between two reads, small beside the dictionary that each extraction worker holds anyway.
constexpr std::size_t kInputChunkSize = std::size_t{256} << 10;

// A dictionary of up to this size stays with the reader from one package to the next: that covers the
// dictionaries ZIP and xz writers choose by default (8 MiB) and every small file's, and fresh pages for
// each package cost less than a tenth of decoding the bytes that fill them. A larger one, which only a large file
// whose writer chose a large dictionary needs, goes back once its package is closed: a worker does not
// sit on tens of MiB for the rest of the run.
constexpr std::size_t kKeptDictionarySize = std::size_t{16} << 20;

constexpr std::array<char16_t, 128> kCp437High{
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

[[noreturn]] void Damaged(const std::wstring& problem) { throw TPackageError(L"Invalid package: " + problem); }

std::wstring ErrnoText(int error) { return FromUtf8(std::generic_category().message(error)); }

// Whatever an archive claims, nothing is read outside the package.
void NeedInPackage(std::uint64_t packageSize, std::uint64_t at, std::uint64_t count, std::wstring_view what) {
  if (at > packageSize || count > packageSize - at) Damaged(std::wstring(what) + L" lies outside the package");
}

// One piece of the package, read from its source, with bounds-checked little-endian reads at the
// package's own positions. The piece ends where the package does.
class TByteView {
 public:
  TByteView(const IPackageSource& source, std::uint64_t at, std::uint64_t count) : m_nBase(at) {
    const std::uint64_t size = source.Size();
    const std::uint64_t available = at < size ? std::min(count, size - at) : 0;
    m_Bytes.resize(static_cast<std::size_t>(available));
    if (available > 0) source.ReadAt(at, m_Bytes.data(), m_Bytes.size());
  }

  bool Has(std::uint64_t at, std::uint64_t count) const {
    return at >= m_nBase && at - m_nBase <= m_Bytes.size() && count <= m_Bytes.size() - (at - m_nBase);
  }
  void Need(std::uint64_t at, std::uint64_t count, std::wstring_view what) const {
    if (!Has(at, count)) Damaged(std::wstring(what) + L" lies outside the package");
  }
  const std::uint8_t* At(std::uint64_t at) const { return m_Bytes.data() + (at - m_nBase); }
  std::uint64_t End() const { return m_nBase + m_Bytes.size(); }

  std::uint16_t U16(std::uint64_t at) const { return static_cast<std::uint16_t>(Read(at, 2)); }
  std::uint32_t U32(std::uint64_t at) const { return static_cast<std::uint32_t>(Read(at, 4)); }
  std::uint64_t U64(std::uint64_t at) const { return Read(at, 8); }

 private:
  std::uint64_t Read(std::uint64_t at, unsigned count) const {
    Need(at, count, L"a header");
    const std::uint8_t* bytes = At(at);
    std::uint64_t value = 0;
    for (unsigned i = count; i-- > 0;) value = (value << 8) | bytes[i];
    return value;
  }

  std::uint64_t m_nBase;
  std::vector<std::uint8_t> m_Bytes;
};

struct TDirectory {
  std::uint64_t nOffset = 0;
  std::uint64_t nSize = 0;
};

// The end record lies in the package's tail, which holds the last record and its comment.
std::uint64_t FindEndRecord(const TByteView& tail) {
  if (tail.End() >= kEndRecordSize) {
    const std::uint64_t last = tail.End() - kEndRecordSize;
    const std::uint64_t first = last > kMaxCommentSize ? last - kMaxCommentSize : 0;
    for (std::uint64_t at = last + 1; at-- > first;) {
      if (tail.U32(at) == kEndRecordSignature && tail.Has(at + kEndRecordSize, tail.U16(at + 20))) return at;
    }
  }
  Damaged(L"not a ZIP archive (no end of central directory record)");
}

TDirectory ReadDirectory(const IPackageSource& source, const TByteView& tail, std::uint64_t endAt) {
  std::uint64_t disk = tail.U16(endAt + 4);
  std::uint64_t directoryDisk = tail.U16(endAt + 6);
  std::uint64_t entriesOnDisk = tail.U16(endAt + 8);
  std::uint64_t entries = tail.U16(endAt + 10);
  TDirectory directory{tail.U32(endAt + 16), tail.U32(endAt + 12)};

  if (endAt >= kZip64LocatorSize && tail.Has(endAt - kZip64LocatorSize, kZip64LocatorSize) &&
      tail.U32(endAt - kZip64LocatorSize) == kZip64LocatorSignature) {
    const std::uint64_t locatorAt = endAt - kZip64LocatorSize;
    if (tail.U32(locatorAt + 4) != 0 || tail.U32(locatorAt + 16) > 1) {
      Damaged(L"archives split over several disks are not supported");
    }
    const std::uint64_t recordAt = tail.U64(locatorAt + 8);
    NeedInPackage(source.Size(), recordAt, kZip64EndRecordSize, L"the ZIP64 end of central directory record");
    const TByteView record(source, recordAt, kZip64EndRecordSize);
    if (record.U32(recordAt) != kZip64EndRecordSignature) Damaged(L"the ZIP64 end of central directory record is missing");
    disk = record.U32(recordAt + 16);
    directoryDisk = record.U32(recordAt + 20);
    entriesOnDisk = record.U64(recordAt + 24);
    entries = record.U64(recordAt + 32);
    directory = {record.U64(recordAt + 48), record.U64(recordAt + 40)};
  }

  if (disk != 0 || directoryDisk != 0 || entriesOnDisk != entries) {
    Damaged(L"archives split over several disks are not supported");
  }
  if (entries == 0) Damaged(L"the archive holds no entries");
  NeedInPackage(source.Size(), directory.nOffset, directory.nSize, L"the central directory");
  return directory;
}

std::wstring DecodeUtf8Name(std::string_view raw) {
  std::wstring name = FromUtf8(raw);
  if (ToUtf8(name) != raw) Damaged(L"the entry name is not valid UTF-8");
  return name;
}

std::wstring DecodeName(std::string_view raw, std::uint16_t flags, const TByteView& bytes, std::uint64_t extraAt,
                        std::size_t extraSize) {
  if ((flags & kFlagUtf8Name) != 0) return DecodeUtf8Name(raw);
  // Info-ZIP's Unicode path field counts only while it was written for this very name (its CRC-32).
  for (std::uint64_t at = extraAt; at + 4 <= extraAt + extraSize;) {
    const std::uint16_t id = bytes.U16(at);
    const std::size_t size = bytes.U16(at + 2);
    if (at + 4 + size > extraAt + extraSize) break;
    if (id == kExtraUnicodePath && size >= 5 && *bytes.At(at + 4) == 1 &&
        bytes.U32(at + 5) == crc32_z(0, reinterpret_cast<const Bytef*>(raw.data()), raw.size())) {
      return DecodeUtf8Name(std::string_view(reinterpret_cast<const char*>(bytes.At(at + 9)), size - 5));
    }
    at += 4 + size;
  }
  std::wstring name;
  name.reserve(raw.size());
  for (const char c : raw) {
    const auto byte = static_cast<unsigned char>(c);
    name += byte < 0x80 ? static_cast<wchar_t>(byte) : static_cast<wchar_t>(kCp437High[byte - 0x80]);
  }
  return name;
}

// Fills the sizes and offset that the central header marks as kept in its ZIP64 extra field.
void ApplyZip64Extra(const TByteView& bytes, std::uint64_t extraAt, std::size_t extraSize, std::uint64_t& uncompressed,
                     std::uint64_t& compressed, std::uint64_t& localOffset) {
  std::array<std::uint64_t*, 3> wanted{};
  std::size_t count = 0;
  for (auto* value : {&uncompressed, &compressed, &localOffset}) {
    if (*value == kZip64Marker) wanted[count++] = value;
  }
  if (count == 0) return;
  for (std::uint64_t at = extraAt; at + 4 <= extraAt + extraSize;) {
    const std::uint16_t id = bytes.U16(at);
    const std::size_t size = bytes.U16(at + 2);
    if (at + 4 + size > extraAt + extraSize) break;
    if (id == kExtraZip64) {
      if (size < 8 * count) break;
      for (std::size_t i = 0; i < count; ++i) *wanted[i] = bytes.U64(at + 4 + 8 * i);
      return;
    }
    at += 4 + size;
  }
  Damaged(L"the ZIP64 sizes of the entry are missing");
}

// A data descriptor follows the data; it may start with a signature and holds 4- or 8-byte sizes.
void CheckDataDescriptor(const TByteView& bytes, std::uint64_t at, std::uint32_t crc, std::uint64_t compressed,
                         std::uint64_t uncompressed) {
  if (bytes.Has(at, 4) && bytes.U32(at) == kDataDescriptorSignature) at += 4;
  const bool matches32 = bytes.Has(at, 12) && bytes.U32(at) == crc && bytes.U32(at + 4) == compressed &&
                         bytes.U32(at + 8) == uncompressed;
  const bool matches64 = bytes.Has(at, 20) && bytes.U32(at) == crc && bytes.U64(at + 4) == compressed &&
                         bytes.U64(at + 12) == uncompressed;
  if (!matches32 && !matches64) Damaged(L"the data descriptor does not match the central directory");
}

// The output file, with the running CRC-32 and length of what was written; `written` (when set) sees
// each piece once it was written.
class TOutputFile {
 public:
  TOutputFile(std::filesystem::path path, const TPackageReader::TWrittenBytes& written)
      : m_Path(std::move(path)), m_Written(written) {
    ClearRuntimeError();
#ifdef _WIN32
    m_File.reset(_wfopen(m_Path.c_str(), L"wb"));
#else
    m_File.reset(std::fopen(m_Path.c_str(), "wb"));
#endif
    if (!m_File) {
      const std::wstring message = L"Cannot create " + TextOf(m_Path) + L": " + ErrnoText(errno);
      if (LastRuntimeCallRanOutOfSpace()) throw TDiskFullError(message);
      throw TFileCreateError(message);
    }
    // Every write is a large chunk: a stdio buffer would only add a copy.
    std::setvbuf(m_File.get(), nullptr, _IONBF, 0);
  }

  void Write(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return;
    m_nCrc32 = crc32_z(m_nCrc32, data, size);
    const std::uint64_t before = m_nWritten;
    m_nWritten += size;
    ClearRuntimeError();
    if (std::fwrite(data, 1, size, m_File.get()) != size) {
      const int error = errno;
      Failed(error, LastRuntimeCallRanOutOfSpace() || CutShort(before));
    }
    if (m_Written) m_Written(data, size);
  }

  void Finish() {
    ClearRuntimeError();
    if (std::fclose(m_File.release()) != 0) Failed(errno, LastRuntimeCallRanOutOfSpace());
  }

  const std::filesystem::path& Path() const { return m_Path; }
  std::uint32_t Crc32() const { return static_cast<std::uint32_t>(m_nCrc32); }
  std::uint64_t Written() const { return m_nWritten; }

 private:
  // A write that landed in part and then stopped is what a full disk (or an exhausted quota) does to a
  // file; some runtimes (Wine's) report it as an invalid argument rather than as ENOSPC.
  bool CutShort(std::uint64_t before) const {
#ifdef _WIN32
    const std::int64_t at = _ftelli64(m_File.get());
#else
    const std::int64_t at = ftello(m_File.get());
#endif
    return at > static_cast<std::int64_t>(before);
  }

  [[noreturn]] void Failed(int error, bool outOfSpace) const {
    if (outOfSpace) {
      throw TDiskFullError(L"Cannot write " + TextOf(m_Path) + L": " +
                           ErrnoText(IsOutOfSpaceErrno(error) ? error : ENOSPC));
    }
    throw TPackageError(L"Cannot write " + TextOf(m_Path) + L": " + ErrnoText(error));
  }

  struct TCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };

  std::filesystem::path m_Path;
  const TPackageReader::TWrittenBytes& m_Written;
  std::unique_ptr<std::FILE, TCloser> m_File;
  uLong m_nCrc32 = crc32_z(0, nullptr, 0);
  std::uint64_t m_nWritten = 0;
};

// The entry's data as it is read from the source, a piece at a time, into a buffer the reader keeps.
class TEntryInput {
 public:
  TEntryInput(const IPackageSource& source, std::uint64_t at, std::uint64_t size, std::vector<std::uint8_t>& buffer)
      : m_Source(source), m_nAt(at), m_nLeft(size), m_Buffer(buffer) {
    m_Buffer.resize(static_cast<std::size_t>(std::min<std::uint64_t>(size, kInputChunkSize)));
  }

  // Bytes not yet read from the source.
  std::uint64_t Left() const { return m_nLeft; }

  // The next piece; empty once everything was read.
  std::span<const std::uint8_t> Next() {
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(m_Buffer.size(), m_nLeft));
    if (count > 0) m_Source.ReadAt(m_nAt, m_Buffer.data(), count);
    m_nAt += count;
    m_nLeft -= count;
    return {m_Buffer.data(), count};
  }

 private:
  const IPackageSource& m_Source;
  std::uint64_t m_nAt;
  std::uint64_t m_nLeft;
  std::vector<std::uint8_t>& m_Buffer;
};

void WriteStored(TEntryInput& input, TOutputFile& output) {
  for (auto piece = input.Next(); !piece.empty(); piece = input.Next()) output.Write(piece.data(), piece.size());
}

// `buffer` is the reader's, kept between packages.
void InflateTo(TEntryInput& input, std::uint64_t expected, TOutputFile& output, std::vector<std::uint8_t>& buffer) {
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) Damaged(L"the Deflate decoder could not start");
  const std::unique_ptr<z_stream, int (*)(z_stream*)> end(&stream, inflateEnd);
  // Never more than the file: a small entry needs no large buffer.
  buffer.resize(static_cast<std::size_t>(std::clamp<std::uint64_t>(expected, 1, kChunkSize)));
  while (true) {
    if (stream.avail_in == 0 && input.Left() > 0) {
      const auto piece = input.Next();
      stream.next_in = const_cast<Bytef*>(piece.data());
      stream.avail_in = static_cast<uInt>(piece.size());
    }
    stream.next_out = buffer.data();
    stream.avail_out = static_cast<uInt>(buffer.size());
    const int result = inflate(&stream, Z_NO_FLUSH);
    const std::size_t produced = buffer.size() - stream.avail_out;
    if (output.Written() + produced > expected) Damaged(L"the Deflate data is longer than the declared size");
    output.Write(buffer.data(), produced);
    if (result == Z_STREAM_END) return;
    if (result == Z_BUF_ERROR && stream.avail_in == 0 && input.Left() == 0) Damaged(L"the Deflate data is truncated");
    if (result != Z_OK && result != Z_BUF_ERROR) {
      Damaged(L"Deflate data error" + (stream.msg != nullptr ? L": " + FromUtf8(stream.msg) : std::wstring()));
    }
  }
}

// Bytes 1 to 4 of the LZMA properties, little-endian.
std::uint32_t LzmaDictionarySize(const std::uint8_t* properties) {
  std::uint32_t size = 0;
  for (unsigned i = 4; i > 0; --i) size = (size << 8) | properties[i];
  return size;
}

void* LzmaAlloc(ISzAllocPtr, std::size_t size) { return std::malloc(size); }
void LzmaFree(ISzAllocPtr, void* address) { std::free(address); }
ISzAlloc g_LzmaAllocator{LzmaAlloc, LzmaFree};

}  // namespace

// What the reader keeps between packages: the LZMA decoder's state and probabilities, its dictionary (the
// reader's own, never allocated by the decoder), and the buffers of the entry's input and of Deflate's
// output. Nothing in it carries over from one package to the next but memory: every entry starts the
// decoder afresh.
struct TPackageReader::TWorkspace {
  TWorkspace() { LzmaDec_Construct(&lzma); }
  ~TWorkspace() { LzmaDec_FreeProbs(&lzma, &g_LzmaAllocator); }
  TWorkspace(const TWorkspace&) = delete;
  TWorkspace& operator=(const TWorkspace&) = delete;

  // A dictionary of at least `size` bytes: the one held when it is large enough, or one of that size in
  // its place (the largest packages are unpacked first, so growing is rare). Null when there is no memory
  // for it.
  std::uint8_t* Dictionary(std::size_t size) {
    if (nDictionarySize < size) {
      dictionary.reset();
      nDictionarySize = 0;
      dictionary.reset(new (std::nothrow) std::uint8_t[size]);
      if (dictionary) nDictionarySize = size;
    }
    return dictionary.get();
  }

  // After a package: a dictionary beyond what is kept goes back.
  void Trim() {
    if (nDictionarySize <= kKeptDictionarySize) return;
    dictionary.reset();
    nDictionarySize = 0;
  }

  CLzmaDec lzma;
  std::unique_ptr<std::uint8_t[]> dictionary;
  std::size_t nDictionarySize = 0;
  std::vector<std::uint8_t> input;
  std::vector<std::uint8_t> output;
};

namespace {

// Streams with and without an end marker are both read: either way the output must end exactly at the
// declared size.
// `header` is the method's header: version, property length and the properties. `workspace` holds the
// reader's decoder and its dictionary.
void DecodeLzmaTo(const std::array<std::uint8_t, kLzmaHeaderSize>& header, TEntryInput& input, std::uint64_t expected,
                  TOutputFile& output, TPackageReader::TWorkspace& workspace) {
  // The whole output is the decoder's history: a dictionary larger than the file is never needed. The
  // size the header asks for was bounded when the package was opened.
  std::array<Byte, LZMA_PROPS_SIZE> properties{};
  std::memcpy(properties.data(), header.data() + 4, properties.size());
  const std::uint64_t window = std::min<std::uint64_t>(LzmaDictionarySize(properties.data()), expected);
  for (unsigned i = 1; i < 5; ++i) properties[i] = static_cast<Byte>(window >> (8 * (i - 1)));

  CLzmaDec& state = workspace.lzma;
  // The probabilities are made again only when the properties need another number of them.
  const SRes allocated = LzmaDec_AllocateProbs(&state, properties.data(), LZMA_PROPS_SIZE, &g_LzmaAllocator);
  if (allocated == SZ_ERROR_UNSUPPORTED) Damaged(L"the LZMA properties are not supported");
  if (allocated != SZ_OK) Damaged(L"not enough memory for the LZMA decoder");
  // The decoder reads at least its smallest dictionary (4 KiB) from the properties; the buffer is that
  // long, however much more the kept one holds.
  state.dicBufSize = state.prop.dicSize;
  state.dic = workspace.Dictionary(state.dicBufSize);
  if (state.dic == nullptr) {
    Damaged(L"not enough memory for an LZMA dictionary of " + std::to_wstring(window) + L" bytes");
  }
  LzmaDec_Init(&state);

  std::span<const std::uint8_t> piece;  // read, not yet consumed
  std::uint64_t outputLeft = expected;
  while (true) {
    if (piece.empty() && input.Left() > 0) piece = input.Next();
    if (state.dicPos == state.dicBufSize) state.dicPos = 0;
    const SizeT start = state.dicPos;
    const auto step = static_cast<SizeT>(std::min<std::uint64_t>({state.dicBufSize - start, outputLeft, kChunkSize}));
    const ELzmaFinishMode mode = step == outputLeft ? LZMA_FINISH_END : LZMA_FINISH_ANY;
    SizeT consumed = piece.size();
    ELzmaStatus status = LZMA_STATUS_NOT_SPECIFIED;
    const SRes result = LzmaDec_DecodeToDic(&state, start + step, piece.data(), &consumed, mode, &status);
    const SizeT produced = state.dicPos - start;
    piece = piece.subspan(consumed);
    output.Write(state.dic + start, produced);
    outputLeft -= produced;

    if (result != SZ_OK) {
      Damaged(outputLeft == 0 ? L"the LZMA stream does not end at the declared size" : L"LZMA data error");
    }
    if (status == LZMA_STATUS_FINISHED_WITH_MARK) {
      if (outputLeft != 0) Damaged(L"the LZMA stream ends before the declared size");
      return;
    }
    if (status == LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK && outputLeft == 0) return;
    if (status == LZMA_STATUS_NEEDS_MORE_INPUT) {
      // The decoder took every byte it was given; more comes from the source while there is any.
      if (piece.empty() && input.Left() == 0) Damaged(L"the LZMA stream is truncated");
      continue;
    }
    if (produced == 0 && consumed == 0) Damaged(L"the LZMA stream does not progress");
  }
}

}  // namespace

TPackageReader::TPackageReader() : m_pWorkspace(std::make_unique<TWorkspace>()) {}

TPackageReader::~TPackageReader() = default;

void TMemoryPackageSource::ReadAt(std::uint64_t offset, std::uint8_t* to, std::size_t count) const {
  NeedInPackage(Size(), offset, count, L"a read");
  if (count > 0) std::memcpy(to, m_pData + offset, count);
}

void TPackageReader::Open(const std::uint8_t* data, std::size_t size, std::wstring_view expectedName) {
  Close();
  m_Memory = TMemoryPackageSource(data, size);
  Read(m_Memory, expectedName);
}

void TPackageReader::Open(const IPackageSource& source, std::wstring_view expectedName) {
  Close();
  Read(source, expectedName);
}

void TPackageReader::Read(const IPackageSource& source, std::wstring_view expectedName) {
  const std::uint64_t size = source.Size();
  if (size == 0) Damaged(L"the package is empty");
  // The end record, its comment of up to 64 KiB and a ZIP64 locator before them: the package's tail.
  const std::uint64_t tailSize = std::min<std::uint64_t>(size, kZip64LocatorSize + kMaxCommentSize + kEndRecordSize);
  const TByteView tail(source, size - tailSize, tailSize);
  const TDirectory directory = ReadDirectory(source, tail, FindEndRecord(tail));

  // The first entry of the central directory; the directory's own sizes are the ones to trust (a local
  // header written before its data was known holds zeros).
  const std::uint64_t at = directory.nOffset;
  const TByteView header(source, at, kCentralHeaderSize);
  if (directory.nSize < kCentralHeaderSize || header.U32(at) != kCentralHeaderSignature) {
    Damaged(L"the central directory is damaged");
  }
  TEntry entry;
  entry.nFlags = header.U16(at + 8);
  entry.nMethod = header.U16(at + 10);
  entry.nCrc32 = header.U32(at + 16);
  entry.nCompressedSize = header.U32(at + 20);
  entry.nUncompressedSize = header.U32(at + 24);
  const std::size_t nameSize = header.U16(at + 28);
  const std::size_t extraSize = header.U16(at + 30);
  std::uint64_t localAt = header.U32(at + 42);
  const std::uint64_t nameAt = at + kCentralHeaderSize;
  NeedInPackage(size, nameAt, nameSize + extraSize, L"the entry's name");
  const TByteView names(source, nameAt, nameSize + extraSize);
  ApplyZip64Extra(names, nameAt + nameSize, extraSize, entry.nUncompressedSize, entry.nCompressedSize, localAt);

  const std::string_view rawName(reinterpret_cast<const char*>(names.At(nameAt)), nameSize);
  std::wstring name = DecodeName(rawName, entry.nFlags, names, nameAt + nameSize, extraSize);
  std::replace(name.begin(), name.end(), L'/', L'\\');
  if (!name.empty() && name.back() == L'\\') Damaged(L"the first entry is a folder, not a file: " + name);
  // The name is joined to the destination folder: one that climbs out of it, or names a drive, a stream
  // or a device, must never reach the file system.
  if (!IsSafeRelativePath(name)) Damaged(L"unsafe entry name: " + name);
  // The manifest names the file this package holds; a package whose entry names another would place the
  // wrong file, or write where another worker writes.
  if (!IsSameFileName(name, expectedName)) {
    Damaged(L"the entry is named " + name + L", not " + std::wstring(expectedName) + L" as the manifest says");
  }

  if ((entry.nFlags & kFlagEncrypted) != 0) Damaged(L"encrypted entries are not supported");
  if (entry.nMethod != kMethodStored && entry.nMethod != kMethodDeflate && entry.nMethod != kMethodLzma) {
    Damaged(L"compression method " + std::to_wstring(entry.nMethod) + L" is not supported");
  }

  NeedInPackage(size, localAt, kLocalHeaderSize, L"the local header");
  const TByteView local(source, localAt, kLocalHeaderSize);
  if (local.U32(localAt) != kLocalHeaderSignature) Damaged(L"the local header is missing");
  const std::size_t localNameSize = local.U16(localAt + 26);
  const std::size_t localExtraSize = local.U16(localAt + 28);
  NeedInPackage(size, localAt + kLocalHeaderSize, localNameSize, L"the local header");
  const TByteView localName(source, localAt + kLocalHeaderSize, localNameSize);
  if (local.U16(localAt + 8) != entry.nMethod || localNameSize != nameSize ||
      (nameSize > 0 && std::memcmp(localName.At(localAt + kLocalHeaderSize), rawName.data(), nameSize) != 0)) {
    Damaged(L"the local header does not match the central directory");
  }
  const std::uint64_t dataAt = localAt + kLocalHeaderSize + localNameSize + localExtraSize;
  NeedInPackage(size, dataAt, entry.nCompressedSize, L"the entry's data");
  entry.nDataOffset = dataAt;
  if ((entry.nFlags & kFlagDataDescriptor) != 0) {
    // A signature, a CRC-32 and two sizes of up to 8 bytes each.
    const std::uint64_t descriptorAt = dataAt + entry.nCompressedSize;
    CheckDataDescriptor(TByteView(source, descriptorAt, 24), descriptorAt, entry.nCrc32, entry.nCompressedSize,
                        entry.nUncompressedSize);
  }

  const std::wstring declared = L"the declared size " + std::to_wstring(entry.nUncompressedSize);
  const std::wstring packed = L" of " + std::to_wstring(entry.nCompressedSize) + L" bytes";
  switch (entry.nMethod) {
    case kMethodStored:
      if (entry.nUncompressedSize != entry.nCompressedSize) Damaged(declared + L" differs from the stored data" + packed);
      break;
    case kMethodDeflate:
      if (entry.nUncompressedSize / kMaxDeflateRatio > entry.nCompressedSize) {
        Damaged(declared + L" is beyond what Deflate data" + packed + L" can hold");
      }
      break;
    default: {
      if (entry.nCompressedSize < kLzmaHeaderSize) Damaged(L"the LZMA header is truncated");
      const TByteView lzma(source, dataAt, kLzmaHeaderSize);
      if (const std::uint16_t length = lzma.U16(dataAt + 2); length != LZMA_PROPS_SIZE) {
        Damaged(L"the LZMA property length is " + std::to_wstring(length) + L", not 5");
      }
      if (entry.nUncompressedSize / kMaxLzmaRatio > entry.nCompressedSize) {
        Damaged(declared + L" is beyond what LZMA data" + packed + L" can hold");
      }
      if (const std::uint32_t dictionary = LzmaDictionarySize(lzma.At(dataAt + 4));
          dictionary > std::min(std::max(kLzmaDictionaryFloor, entry.nUncompressedSize), kLzmaDictionaryCeiling)) {
        Damaged(L"the LZMA dictionary of " + std::to_wstring(dictionary) + L" bytes is larger than a file of " +
                std::to_wstring(entry.nUncompressedSize) + L" bytes may ask for");
      }
      break;
    }
  }

  m_pSource = &source;
  m_Entry = entry;
  m_strEntryName = std::move(name);
}

std::filesystem::path TPackageReader::ExtractFirstEntry(const std::filesystem::path& folder, const TPathGuard& guard,
                                                        const TWrittenBytes& written) {
  if (!IsOpen()) throw TPackageError(L"Invalid package: no package is open");

  std::filesystem::path target = folder;
  for (std::size_t begin = 0; begin <= m_strEntryName.size();) {
    const std::size_t end = std::min(m_strEntryName.find(L'\\', begin), m_strEntryName.size());
    target /= PathOf(m_strEntryName.substr(begin, end - begin));
    begin = end + 1;
  }
  // Before any folder is made: the file and every folder on its way must be the installer's own.
  guard.Check(L"unpack into", TextOf(target), TPathGuard::TLeaf::NotALink);
  std::error_code error;
  if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), error);
  if (error) {
    const std::wstring message = L"Cannot create the folder " + TextOf(target.parent_path()) + L": " +
                                 FromUtf8(error.message());
    if (IsOutOfSpace(error)) throw TDiskFullError(message);
    throw TFileCreateError(message);
  }

  TOutputFile output(target, written);
  TWorkspace& workspace = *m_pWorkspace;
  switch (m_Entry.nMethod) {
    case kMethodStored: {
      TEntryInput input(*m_pSource, m_Entry.nDataOffset, m_Entry.nCompressedSize, workspace.input);
      WriteStored(input, output);
      break;
    }
    case kMethodDeflate: {
      TEntryInput input(*m_pSource, m_Entry.nDataOffset, m_Entry.nCompressedSize, workspace.input);
      InflateTo(input, m_Entry.nUncompressedSize, output, workspace.output);
      break;
    }
    default: {
      std::array<std::uint8_t, kLzmaHeaderSize> header{};
      m_pSource->ReadAt(m_Entry.nDataOffset, header.data(), header.size());
      TEntryInput input(*m_pSource, m_Entry.nDataOffset + kLzmaHeaderSize, m_Entry.nCompressedSize - kLzmaHeaderSize,
                        workspace.input);
      DecodeLzmaTo(header, input, m_Entry.nUncompressedSize, output, workspace);
      break;
    }
  }
  if (output.Written() != m_Entry.nUncompressedSize) {
    Damaged(L"the entry holds " + std::to_wstring(output.Written()) + L" bytes, not the declared " +
            std::to_wstring(m_Entry.nUncompressedSize));
  }
  if (output.Crc32() != m_Entry.nCrc32) {
    wchar_t text[64];
    std::swprintf(text, std::size(text), L"CRC-32 %08X, not the declared %08X", output.Crc32(), m_Entry.nCrc32);
    Damaged(L"the entry has " + std::wstring(text));
  }
  output.Finish();
  return target;
}

void TPackageReader::Close() {
  m_pSource = nullptr;
  m_Memory = TMemoryPackageSource(nullptr, 0);
  m_Entry = {};
  m_strEntryName.clear();
  m_pWorkspace->Trim();
}

void TPackageReader::ReleaseWorkspace() { m_pWorkspace = std::make_unique<TWorkspace>(); }

}  // namespace sf
