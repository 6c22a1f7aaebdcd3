#include "authoring/output_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

namespace ks::authoring {

std::filesystem::path TemporaryPathFor(const std::filesystem::path& target) {
  std::filesystem::path tmp = target;
  tmp += ".partial";
  return tmp;
}

bool WriteFileAtomically(const std::filesystem::path& target, const Bytes& bytes, std::string& error) {
  const std::filesystem::path tmp = TemporaryPathFor(target);
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) {
      error = "cannot create \"" + tmp.string() + "\": " + std::strerror(errno);
      return false;
    }
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      error = "cannot write \"" + tmp.string() + "\"";
      std::error_code ignored;
      std::filesystem::remove(tmp, ignored);
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(tmp, target, ec);
  if (ec) {
    error = "cannot rename \"" + tmp.string() + "\" to \"" + target.string() + "\": " + ec.message();
    std::error_code ignored;
    std::filesystem::remove(tmp, ignored);
    return false;
  }
  return true;
}

}  // namespace ks::authoring
