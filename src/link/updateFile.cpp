#include "link/updateFile.h"

#include "link/notice.h"
#include "platform/platform.h"

#include <cerrno>

FILE *openUpdateFile(const char *name) {
  FILE *file = openInputFile(name);
  if (file == nullptr && errno == EINVAL)
    notice("%s is no plain file (a FIFO, a device or a directory): it is not read\n", name);
  return file;
}
