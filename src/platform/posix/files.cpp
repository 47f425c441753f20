// Plain files on POSIX systems: the update files the jobs read, as handles
// (files.h) or streams, and the files they write. Only regular files are
// taken, and opening one never waits, whatever sits at its name.
#include "files.h"

#include "handles.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// `fd`, open without blocking, as a stream in `mode` when it is a regular
// file; closed, with errno set, otherwise.
FILE *regularFileStream(int fd, const char *mode) {
  if (fd < 0)
    return nullptr;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int err = S_ISREG(st.st_mode) ? errno : EINVAL;
    close(fd);
    errno = err;
    return nullptr;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  FILE *file = fdopen(fd, mode);
  if (file == nullptr)
    close(fd);
  return file;
}

} // namespace

HANDLE openFile(const char *name) {
  int fd = open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  struct stat st {};
  if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
    close(fd);
    fd = -1;
    errno = EINVAL;
  }
  if (fd < 0) {
    fail(errno);
    return INVALID_HANDLE_VALUE;
  }
  reportSuccess();
  return new Handle{fd, false, {}, 0, false};
}

FILE *openInputFile(const char *name) {
  // Non-blocking: opening a FIFO must not wait for a writer.
  return regularFileStream(open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC), "rb");
}

FILE *createRegularFile(const char *name) {
  // Non-blocking: a FIFO without a reader must not hold the run. Emptied
  // only once it is known to be a regular file.
  FILE *file = regularFileStream(
      open(name, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644), "wb");
  if (file != nullptr && ftruncate(fileno(file), 0) != 0) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

DWORD GetFileAttributesA(LPCSTR name) {
  struct stat st {};
  if (stat(name, &st) != 0) {
    fail(errno);
    return INVALID_FILE_ATTRIBUTES;
  }
  return S_ISDIR(st.st_mode) ? 0x10u : FILE_ATTRIBUTE_NORMAL;
}

DWORD GetFileSize(HANDLE handle, LPDWORD high) {
  Handle *h = asHandle(handle);
  struct stat st {};
  if (!h || fstat(h->fd, &st) != 0) {
    if (h)
      fail(errno);
    return INVALID_FILE_SIZE;
  }
  uint64_t size = static_cast<uint64_t>(st.st_size);
  if (high)
    *high = static_cast<DWORD>(size >> 32);
  return static_cast<DWORD>(size);
}
