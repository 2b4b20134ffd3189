#include "logging/VMDetectorU.h"

#include <utility>

#include "common/NoDestructorU.h"
#include "common/TextU.h"

namespace sf {

const VM_INFO& ParallelsVMInfo() {
  static TNoDestructor<VM_INFO> info(VM_INFO{L"Parallels", {L"001C42"}, {L"prl_cc.exe", L"prl_tools.exe"}});
  return *info;
}

TVMDetector::TVMDetector(std::vector<std::wstring> macAddresses, std::vector<std::wstring> processes)
    : m_lstMacAddress(std::move(macAddresses)), m_lstProcess(std::move(processes)) {}

bool TVMDetector::IsVirtualMachine(const VM_INFO& info) {
  if (!m_strName.empty() && m_strName == info.strName) return true;
  for (const auto& address : m_lstMacAddress) {
    for (const auto& prefix : info.lstMAC) {
      // The family is told by the maker part, the first three bytes: a match further inside an address
      // is another maker's adapter.
      if (address.starts_with(prefix)) {
        m_strName = info.strName;
        return true;
      }
    }
  }
  for (const auto& known : info.lstKnownProcesses) {
    for (const auto& process : m_lstProcess) {
      if (EqualsIgnoreCaseInLocale(process, known)) {
        m_strName = info.strName;
        return true;
      }
    }
  }
  return false;
}

}  // namespace sf
