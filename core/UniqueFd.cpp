#include "UniqueFd.h"

#include <unistd.h>

namespace zav {

bool UniqueFd::Reset() {
  if (fd_ < 0) return true;
  const bool ok = ::close(fd_) == 0;
  fd_ = -1;
  return ok;
}

}  // namespace zav
