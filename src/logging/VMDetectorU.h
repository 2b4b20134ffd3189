// Recognising a virtual machine from the network adapters' hardware addresses and the running processes.
// Portable: the lists are handed in, so the rule can be checked with any machine's facts; SystemDiagU
// reads them from the running system.
#pragma once

#include <string>
#include <vector>

namespace sf {

// One virtual-machine family: its adapters' address prefixes (upper-case hexadecimal, no separators) and
// the file names of its guest tools.
struct VM_INFO {
  std::wstring strName;
  std::vector<std::wstring> lstMAC;
  std::vector<std::wstring> lstKnownProcesses;
};

// The only family the installer looks for.
const VM_INFO& ParallelsVMInfo();

class TVMDetector {
 public:
  // macAddresses: one upper-case hexadecimal text per adapter; processes: executable file names.
  TVMDetector(std::vector<std::wstring> macAddresses, std::vector<std::wstring> processes);

  // True when an adapter address starts with one of the family's prefixes (case-sensitive) or one of its
  // tools runs (file names compared without regard to letter case). Remembers the family it found.
  bool IsVirtualMachine(const VM_INFO& info);

  const std::wstring& Name() const { return m_strName; }
  const std::vector<std::wstring>& MacAddresses() const { return m_lstMacAddress; }
  const std::vector<std::wstring>& Processes() const { return m_lstProcess; }

 private:
  std::vector<std::wstring> m_lstMacAddress;
  std::vector<std::wstring> m_lstProcess;
  std::wstring m_strName;
};

}  // namespace sf
