// A small tmpfs mounted for one test (it takes root): every write beyond its
// size fails with ENOSPC, as on a full disk.
#ifndef ULO_TESTS_SUPPORT_SMALL_DISK_H_
#define ULO_TESTS_SUPPORT_SMALL_DISK_H_

#include <errno.h>
#include <string.h>
#include <sys/mount.h>

#include <string>

#include "test_support.h"

namespace ulo::testing {

class SmallDisk {
 public:
  explicit SmallDisk(const std::string& path, const std::string& options = "size=64k")
      : path(path) {
    MakeDirectory(path);
    if (::mount("tmpfs", path.c_str(), "tmpfs", 0, options.c_str()) == 0) {
      mounted = true;
    } else {
      reason = std::string("cannot mount a tmpfs here (") + ::strerror(errno) + ")";
    }
  }
  ~SmallDisk() {
    if (mounted) ::umount2(path.c_str(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool mounted = false;
  std::string reason;

 private:
  std::string path;
};

}  // namespace ulo::testing

#endif  // ULO_TESTS_SUPPORT_SMALL_DISK_H_
