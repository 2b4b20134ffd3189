#include "errorreport/StackTraceU.h"

#include <cxxabi.h>
#include <unwind.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <exception>

#include "common/WinErrorU.h"

namespace sf {

namespace {

// The code with which the GCC runtime raises a C++ throw; its first parameter is the unwind header, which
// the thrown object follows directly.
constexpr DWORD kCxxRaiseCode = 0x20474343;
constexpr std::size_t kMaxFrames = 62;
constexpr std::size_t kRecordCount = 16;

struct TRaisedRecord {
  const void* pObject = nullptr;
  FILETIME ftTaken{};
  std::uintptr_t nRaiseAddress = 0;
  std::size_t nCount = 0;
  std::array<std::uintptr_t, kMaxFrames> frames{};
};

// Written by the vectored handler, which must not allocate: a throw can come from anywhere.
SRWLOCK g_recordsLock = SRWLOCK_INIT;
std::array<TRaisedRecord, kRecordCount> g_records;
std::size_t g_nNextRecord = 0;
std::atomic<PVOID> g_pHandler{nullptr};

std::wstring Hex(std::uintptr_t value) {
  wchar_t text[24] = {};
  std::swprintf(text, 24, L"%llX", static_cast<unsigned long long>(value));
  return text;
}

#if defined(__x86_64__)
// Return addresses from context outwards, through the unwind tables; a routine without an entry is a
// leaf whose return address is on top of the stack. Stops at the first step that leaves the thread's
// stack or does not move outwards, so a damaged stack ends the walk instead of faulting.
std::size_t WalkFrom(CONTEXT context, std::uintptr_t* frames, std::size_t max) {
  ULONG_PTR low = 0, high = 0;
  ::GetCurrentThreadStackLimits(&low, &high);
  std::size_t count = 0;
  while (count < max && context.Rip != 0) {
    frames[count++] = context.Rip;
    const DWORD64 oldRsp = context.Rsp;
    DWORD64 imageBase = 0;
    if (PRUNTIME_FUNCTION function = ::RtlLookupFunctionEntry(context.Rip, &imageBase, nullptr)) {
      void* handlerData = nullptr;
      DWORD64 establisher = 0;
      ::RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, context.Rip, function, &context, &handlerData, &establisher,
                         nullptr);
    } else {
      if (context.Rsp < low || context.Rsp + sizeof(DWORD64) > high) break;
      context.Rip = *reinterpret_cast<const DWORD64*>(context.Rsp);
      context.Rsp += sizeof(DWORD64);
    }
    if (context.Rsp <= oldRsp || context.Rsp < low || context.Rsp > high) break;
  }
  return count;
}

bool RoutineBeginsAt(std::uintptr_t address, const void* routine) {
  DWORD64 imageBase = 0;
  const PRUNTIME_FUNCTION function = ::RtlLookupFunctionEntry(address, &imageBase, nullptr);
  return function && imageBase + function->BeginAddress == reinterpret_cast<std::uintptr_t>(routine);
}

// The frame after the runtime's raising routine is the code that threw; frames before it are the runtime.
std::size_t FirstFrameOfThrower(const std::uintptr_t* frames, std::size_t count) {
  const void* raisers[] = {reinterpret_cast<const void*>(&abi::__cxa_throw),
                           reinterpret_cast<const void*>(&abi::__cxa_rethrow),
                           reinterpret_cast<const void*>(&std::rethrow_exception)};
  for (std::size_t i = 0; i + 1 < count; ++i) {
    for (const void* raiser : raisers) {
      if (RoutineBeginsAt(frames[i], raiser)) return i + 1;
    }
  }
  return 0;
}

LONG WINAPI RecordRaise(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (record->ExceptionCode != kCxxRaiseCode || record->NumberParameters < 1) return EXCEPTION_CONTINUE_SEARCH;
  const void* object = reinterpret_cast<const char*>(record->ExceptionInformation[0]) + sizeof(_Unwind_Exception);
  std::array<std::uintptr_t, kMaxFrames + 8> frames{};
  const std::size_t count = WalkFrom(*info->ContextRecord, frames.data(), frames.size());
  const std::size_t first = FirstFrameOfThrower(frames.data(), count);

  ::AcquireSRWLockExclusive(&g_recordsLock);
  TRaisedRecord& slot = g_records[g_nNextRecord];
  g_nNextRecord = (g_nNextRecord + 1) % kRecordCount;
  slot.pObject = object;
  ::GetSystemTimeAsFileTime(&slot.ftTaken);
  slot.nRaiseAddress = first < count ? frames[first] : reinterpret_cast<std::uintptr_t>(record->ExceptionAddress);
  slot.nCount = std::min(count - first, kMaxFrames);
  for (std::size_t i = 0; i < slot.nCount; ++i) slot.frames[i] = frames[first + i];
  ::ReleaseSRWLockExclusive(&g_recordsLock);
  return EXCEPTION_CONTINUE_SEARCH;
}
#endif

}  // namespace

void StartRecordingRaisedStacks() {
#if defined(__x86_64__) && defined(__SEH__)
  if (g_pHandler.load()) return;
  // First in line, so the stack is taken before any other handler can change the thread's state.
  g_pHandler.store(::AddVectoredExceptionHandler(1, &RecordRaise));
#endif
}

void StopRecordingRaisedStacks() {
  if (PVOID handler = g_pHandler.exchange(nullptr)) ::RemoveVectoredExceptionHandler(handler);
}

std::optional<TStackTrace> RaisedStackOf(const void* exceptionObject) {
  ::AcquireSRWLockShared(&g_recordsLock);
  std::optional<TStackTrace> found;
  // Newest first: an address that a freed object left behind may be taken by a later one.
  for (std::size_t age = 1; age <= kRecordCount && !found; ++age) {
    const TRaisedRecord& record = g_records[(g_nNextRecord + kRecordCount - age) % kRecordCount];
    if (record.pObject != exceptionObject || !exceptionObject) continue;
    found = TStackTrace{record.ftTaken, record.nRaiseAddress,
                        std::vector<std::uintptr_t>(record.frames.begin(), record.frames.begin() + record.nCount)};
  }
  ::ReleaseSRWLockShared(&g_recordsLock);
  return found;
}

__attribute__((noinline)) TStackTrace CurrentStack() {
  TStackTrace trace;
  ::GetSystemTimeAsFileTime(&trace.ftTaken);
  std::array<std::uintptr_t, kMaxFrames + 1> frames{};
#if defined(__x86_64__)
  CONTEXT context{};
  ::RtlCaptureContext(&context);
  const std::size_t count = WalkFrom(context, frames.data(), frames.size());
#else
  const std::size_t count = ::RtlCaptureStackBackTrace(0, static_cast<DWORD>(frames.size()),
                                                       reinterpret_cast<void**>(frames.data()), nullptr);
#endif
  // Frame 0 is this function itself.
  if (count > 1) trace.frames.assign(frames.begin() + 1, frames.begin() + count);
  return trace;
}

std::wstring FrameText(std::uintptr_t address) {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(address), &module)) {
    return L"0x" + Hex(address);
  }
  std::wstring name = ModuleFileName(module);
  name.erase(0, name.find_last_of(L"\\/") + 1);
  const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(module);
  std::wstring text = name + L"+0x" + Hex(address - base);
#if defined(__x86_64__)
  DWORD64 imageBase = 0;
  if (const PRUNTIME_FUNCTION function = ::RtlLookupFunctionEntry(address, &imageBase, nullptr)) {
    const std::uintptr_t begin = imageBase + function->BeginAddress;
    text += L" (routine +0x" + Hex(begin - base) + L", offset 0x" + Hex(address - begin) + L")";
  }
#endif
  return text;
}

}  // namespace sf
