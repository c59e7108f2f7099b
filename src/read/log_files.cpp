// A log opened again while it is read, and only if it is still the file that was checked.
#include "read/log_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "read/file_bytes.h"

opened_log::opened_log(const log_file& log) {
  if (!log.size) {
    fd_ = log.fd;
    return;
  }
  fd_ = ::open(log.name.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  error_ = fd_ < 0 ? errno : ::fstat(fd_, &st) != 0 ? errno : 0;
  if (error_ == 0 && (st.st_dev != log.dev || st.st_ino != log.ino)) error_ = log_error::replaced;
  owned_ = fd_ >= 0;
  if (error_ == 0) return;
  if (owned_) ::close(fd_);
  fd_ = -1;
  owned_ = false;
}

opened_log::~opened_log() {
  if (owned_) ::close(fd_);
}
