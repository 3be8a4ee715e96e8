// veltrim-path: the setup's hand on this user's PATH (HKCU\Environment, value Path), so that
// PATH never passes through one of the setup's own strings, which hold 1,024 characters; and
// the fingerprint by which the setup knows the files it wrote.
//
//   veltrim-path add FOLDER                  appends FOLDER unless an entry names it
//   veltrim-path remove FOLDER [--drop-empty]  takes out every entry naming FOLDER; with
//                                            --drop-empty, a PATH left empty is deleted
//   veltrim-path hash FILE                   prints the file's SHA-256 (64 small hex digits)
//
// Exit codes (the setup checks them, and passes 3 to 7 on as its own):
//   0  PATH changed; the hash printed
//   1  nothing to do: the folder is on PATH already (add), or not on it (remove)
//   2  there was no PATH: it was created, holding the folder (add)
//   3  PATH could not be read whole, or is not a string: left as it was; the file could not
//      be read
//   4  the new PATH would pass 32,767 characters: left as it was
//   5  the new PATH could not be written: left as it was, or as the system kept it
//   6  wrong arguments, or a folder holding a ';'
//   7  the folder holds two '%', which an expanding PATH may turn into another folder: PATH
//      left as it was
#include <windows.h>
// After windows.h, whose types it uses.
#include <bcrypt.h>

#include <cstring>
#include <string>
#include <vector>

#include "setup/path_list.h"

namespace {

using veltrim::setup::PathEdit;
using veltrim::setup::PathResult;

enum Exit : int {
  kChanged = 0,
  kNothingToDo = 1,
  kCreated = 2,
  kUnreadable = 3,
  kTooLong = 4,
  kUnwritable = 5,
  kUsage = 6,
  kVariable = 7,
};

enum class Read { ok, missing, failed };

struct PathValue {
  std::u16string text;
  DWORD type = REG_EXPAND_SZ;  // what Windows gives a user's PATH that it creates
};

// The value whole, at any length: asked again while it grows between the calls.
Read read_path(HKEY key, PathValue& out) {
  std::vector<BYTE> data(4096);
  for (int tries = 0; tries < 16; ++tries) {
    auto size = static_cast<DWORD>(data.size());
    DWORD type = REG_NONE;
    const LSTATUS status = RegQueryValueExW(key, L"Path", nullptr, &type, data.data(), &size);
    if (status == ERROR_FILE_NOT_FOUND) return Read::missing;
    if (status == ERROR_MORE_DATA) {
      data.resize(size + 64);
      continue;
    }
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || size % 2 != 0) {
      return Read::failed;
    }
    out.type = type;
    out.text.resize(size / 2);
    std::memcpy(out.text.data(), data.data(), size);
    // The terminating null, when the value has one; a null inside would cut what the system
    // reads, and writing the value back would lose what follows it.
    while (!out.text.empty() && out.text.back() == u'\0') out.text.pop_back();
    return out.text.find(u'\0') == std::u16string::npos ? Read::ok : Read::failed;
  }
  return Read::failed;
}

bool write_path(HKEY key, const PathValue& value) {
  const auto bytes = static_cast<DWORD>((value.text.size() + 1) * sizeof(char16_t));
  if (RegSetValueExW(key, L"Path", 0, value.type, reinterpret_cast<const BYTE*>(value.text.c_str()),
                     bytes) != ERROR_SUCCESS) {
    return false;
  }
  PathValue back;  // what the system kept
  return read_path(key, back) == Read::ok && back.text == value.text && back.type == value.type;
}

// New consoles, opened by Explorer, take the environment anew on this message.
void announce() {
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"),
                      SMTO_ABORTIFHUNG, 5000, &ignored);
}

// Letter case as file names compare it: the system's upper case of each unit.
char16_t fold_system(char16_t unit) {
  const auto upper = reinterpret_cast<ULONG_PTR>(
      CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(unit))));
  return static_cast<char16_t>(upper & 0xFFFF);
}

int run(bool add, const std::u16string& folder, bool drop_empty) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Environment", 0, nullptr, 0,
                      KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return kUnwritable;
  }
  PathValue path;
  const Read read = read_path(key, path);
  int code = kNothingToDo;
  if (read == Read::failed) {
    code = kUnreadable;
  } else if (read == Read::missing && !add) {
    code = kNothingToDo;
  } else {
    const PathResult r = add ? veltrim::setup::add_folder(path.text, folder, fold_system)
                             : veltrim::setup::remove_folder(path.text, folder, fold_system);
    if (r.edit == PathEdit::too_long) {
      code = kTooLong;
    } else if (r.edit == PathEdit::unfit) {
      code = veltrim::setup::folder_fit(folder) == veltrim::setup::FolderFit::variable ? kVariable
                                                                                       : kUsage;
    } else if (r.edit == PathEdit::changed) {
      path.text = r.value;
      if (!add && drop_empty && path.text.empty()) {
        code = RegDeleteValueW(key, L"Path") == ERROR_SUCCESS ? kChanged : kUnwritable;
      } else if (!write_path(key, path)) {
        code = kUnwritable;
      } else {
        code = read == Read::missing ? kCreated : kChanged;
      }
    }
  }
  RegCloseKey(key);
  if (code == kChanged || code == kCreated) announce();
  return code;
}

// The file's SHA-256 as 64 small hex digits on standard output. A file that another program
// holds open is read as it is: the hash says whether its bytes are still the setup's.
int print_hash(const wchar_t* file) {
  const HANDLE h =
      CreateFileW(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return kUnreadable;
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) >= 0 &&
            BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) >= 0;
  std::vector<UCHAR> block(1 << 16);
  for (DWORD got = 0; ok;) {
    ok = ReadFile(h, block.data(), static_cast<DWORD>(block.size()), &got, nullptr) != 0;
    if (!ok || got == 0) break;
    ok = BCryptHashData(hash, block.data(), got, 0) >= 0;
  }
  UCHAR digest[32] = {};
  ok = ok && BCryptFinishHash(hash, digest, sizeof digest, 0) >= 0;
  if (hash != nullptr) BCryptDestroyHash(hash);
  if (algorithm != nullptr) BCryptCloseAlgorithmProvider(algorithm, 0);
  CloseHandle(h);
  if (!ok) return kUnreadable;
  char text[65] = {};
  for (int i = 0; i < 32; ++i) {
    text[2 * i] = "0123456789abcdef"[digest[i] >> 4];
    text[2 * i + 1] = "0123456789abcdef"[digest[i] & 15];
  }
  DWORD written = 0;
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  return WriteFile(out, text, 64, &written, nullptr) && written == 64 ? kChanged : kUnreadable;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3 || argc > 4) return kUsage;
  const std::wstring verb = argv[1];
  if (verb == L"hash") return argc == 3 ? print_hash(argv[2]) : kUsage;
  const std::wstring option = argc == 4 ? argv[3] : L"";
  const bool add = verb == L"add";
  if ((!add && verb != L"remove") || (add && argc == 4) ||
      (argc == 4 && option != L"--drop-empty")) {
    return kUsage;
  }
  const std::wstring folder = argv[2];
  if (folder.empty()) return kUsage;
  return run(add, std::u16string(folder.begin(), folder.end()), argc == 4);
}
