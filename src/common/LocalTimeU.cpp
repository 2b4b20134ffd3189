#include "common/LocalTimeU.h"

#include <windows.h>

namespace sf {

TLocalTime LocalTimeNow() {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

}  // namespace sf
