// ksbenchio: the bench's Windows helper, run under Wine.
//
//   ksbenchio write INDEX DATA TARGET   load the payload into memory, then write
//                                       every file under TARGET (the floor of
//                                       any installer: no decoding, no checks)
//   ksbenchio delete FOLDER             delete FOLDER and everything in it
//   ksbenchio noop                      nothing: the cost of starting a program
//
// INDEX holds one "relative\path<TAB>size" line per file (UTF-8), DATA the
// contents in the same order. Each mode prints "seconds=<s>" for its timed
// part (only the writing, or only the deletion) and exits with 0, or prints
// what failed and exits with 1.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

struct Handle {
  HANDLE h = INVALID_HANDLE_VALUE;
  explicit Handle(HANDLE raw) : h(raw) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  bool ok() const { return h != INVALID_HANDLE_VALUE; }
};

struct Entry {
  std::wstring path;
  unsigned long long size = 0;
};

double Now() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

bool Fail(const wchar_t* what, const std::wstring& path) {
  std::fwprintf(stderr, L"ksbenchio: %ls %ls (error %lu)\n", what, path.c_str(), GetLastError());
  return false;
}

bool LoadFile(const std::wstring& path, std::vector<char>* out) {
  Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER size;
  if (!file.ok() || !GetFileSizeEx(file.h, &size)) return Fail(L"cannot open", path);
  out->resize(static_cast<size_t>(size.QuadPart));
  size_t done = 0;
  while (done < out->size()) {
    const DWORD want = static_cast<DWORD>(std::min<size_t>(out->size() - done, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(file.h, out->data() + done, want, &got, nullptr) || got == 0) return Fail(L"cannot read", path);
    done += got;
  }
  return true;
}

std::wstring FromUtf8(const std::string& text) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
  return wide;
}

bool ParseIndex(const std::vector<char>& text, std::vector<Entry>* entries) {
  size_t at = 0;
  while (at < text.size()) {
    size_t end = at;
    while (end < text.size() && text[end] != '\n') ++end;
    const std::string line(text.data() + at, end - at);
    at = end + 1;
    if (line.empty()) continue;
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) return Fail(L"malformed index line", FromUtf8(line));
    entries->push_back({FromUtf8(line.substr(0, tab)), std::strtoull(line.c_str() + tab + 1, nullptr, 10)});
  }
  return true;
}

// Creates the folder of `file` and its missing parents, once per folder.
bool EnsureFolder(const std::wstring& file, std::set<std::wstring>* made) {
  const size_t slash = file.rfind(L'\\');
  if (slash == std::wstring::npos) return true;
  const std::wstring folder = file.substr(0, slash);
  if (made->count(folder)) return true;
  if (!EnsureFolder(folder, made)) return false;
  if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
    return Fail(L"cannot create folder", folder);
  made->insert(folder);
  return true;
}

bool WriteOne(const std::wstring& path, const char* data, unsigned long long size, const FILETIME& time) {
  Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.ok()) return Fail(L"cannot create", path);
  while (size > 0) {
    const DWORD want = static_cast<DWORD>(std::min<unsigned long long>(size, 1u << 30));
    DWORD done = 0;
    if (!WriteFile(file.h, data, want, &done, nullptr) || done == 0) return Fail(L"cannot write", path);
    data += done;
    size -= done;
  }
  // Installers give files their recorded date; so does the floor.
  if (!SetFileTime(file.h, &time, nullptr, &time)) return Fail(L"cannot date", path);
  return true;
}

int WriteMode(const std::wstring& index_path, const std::wstring& data_path, const std::wstring& target) {
  std::vector<char> index_text, data;
  std::vector<Entry> entries;
  if (!LoadFile(index_path, &index_text) || !ParseIndex(index_text, &entries) || !LoadFile(data_path, &data))
    return 1;
  SYSTEMTIME st{};
  st.wYear = 2026, st.wMonth = 1, st.wDay = 1, st.wHour = 12;
  FILETIME time;
  SystemTimeToFileTime(&st, &time);
  const double start = Now();
  std::set<std::wstring> made;
  unsigned long long at = 0;
  for (const Entry& e : entries) {
    if (at + e.size > data.size()) {
      Fail(L"data file too short for", e.path);
      return 1;
    }
    const std::wstring path = target + L"\\" + e.path;
    if (!EnsureFolder(path, &made) || !WriteOne(path, data.data() + at, e.size, time)) return 1;
    at += e.size;
  }
  std::printf("seconds=%.4f files=%zu bytes=%llu\n", Now() - start, entries.size(), at);
  return 0;
}

bool DeleteTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE raw = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (raw != INVALID_HANDLE_VALUE) {
    struct FindCloser {
      HANDLE h;
      ~FindCloser() { FindClose(h); }
    } closer{raw};
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (!DeleteTree(path)) return false;
      } else {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileW(path.c_str())) return Fail(L"cannot delete", path);
      }
    } while (FindNextFileW(raw, &found));
  }
  if (!RemoveDirectoryW(folder.c_str())) return Fail(L"cannot remove folder", folder);
  return true;
}

int DeleteMode(const std::wstring& folder) {
  const double start = Now();
  if (!DeleteTree(folder)) return 1;
  std::printf("seconds=%.4f\n", Now() - start);
  return 0;
}

int Usage() {
  std::fprintf(stderr, "usage: ksbenchio write INDEX DATA TARGET | delete FOLDER | noop\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return Usage();
  const std::wstring mode = argv[1];
  if (mode == L"write" && argc == 5) return WriteMode(argv[2], argv[3], argv[4]);
  if (mode == L"delete" && argc == 3) return DeleteMode(argv[2]);
  if (mode == L"noop" && argc == 2) return 0;
  return Usage();
}
