#include "engine/RunModeU.h"

#include <algorithm>

namespace sf {

namespace {

TCmdInstallType ModeOf(const std::wstring& option) {
  if (option == L"/install") return TCmdInstallType::citInstall;
  if (option == L"/update") return TCmdInstallType::citUpdate;
  return TCmdInstallType::citNone;
}

}  // namespace

TCmdSelection SelectMode(const std::vector<std::wstring>& args) {
  TCmdSelection selection;
  if (args.size() == 2) {
    selection.mode = ModeOf(args[1]);
  } else if (args.size() == 3) {
    selection.mode = ModeOf(args[1]);
    selection.name = args[2];
  }
  return selection;
}

bool IsSingleThreaded(const std::vector<std::wstring>& args) {
  return std::find(args.begin(), args.end(), L"/st") != args.end();
}

}  // namespace sf
