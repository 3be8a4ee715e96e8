// The watch mode's side of Windows: outputs written whole beside their name and put in its
// place, ReadDirectoryChangesW on each watched folder, and the console's Ctrl+C, Ctrl+Break
// and close, which end the next wait instead of the process.
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/file_names.h"
#include "platform/native_file.h"
#include "platform/notifier.h"
#include "platform/win32_names.h"

namespace veltrim {

namespace {

// Another program holds the old output open without letting it be replaced (a viewer, a
// virus scanner): such a hold usually passes within moments.
bool held_by_another(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
         error == ERROR_LOCK_VIOLATION;
}

constexpr int kReplaceTries = 50;
constexpr DWORD kReplacePauseMs = 20;

class Win32ReplacingFile final : public ReplacingFile {
 public:
  ~Win32ReplacingFile() override {
    if (new_ != INVALID_HANDLE_VALUE) CloseHandle(new_);
    if (!committed_ && !temp_.empty()) DeleteFileW(temp_.c_str());
    if (old_ != INVALID_HANDLE_VALUE) CloseHandle(old_);
  }

  bool open(const char* name) {
    path_ = exact_path(name);
    if (path_.empty()) return false;
    // The old output, opened as itself and shared for reading (and replacing) only, as a run
    // opens its output: a run writing it meanwhile is refused here, and refuses this one.
    old_ = CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (old_ == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error != ERROR_FILE_NOT_FOUND) return false;
    } else {
      // A link, a junction or any other reparse point would be replaced by a plain file.
      BY_HANDLE_FILE_INFORMATION info;
      if (GetFileType(old_) != FILE_TYPE_DISK || !GetFileInformationByHandle(old_, &info) ||
          (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return false;
      }
    }
    // Beside the output, so that the replace stays on one volume; never a ".css" name.
    for (int attempt = 0; attempt < 100 && new_ == INVALID_HANDLE_VALUE; ++attempt) {
      temp_ = path_ + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
              std::to_wstring(attempt) + L".tmp";
      new_ = CreateFileW(temp_.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
      if (new_ == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (new_ == INVALID_HANDLE_VALUE) {
      temp_.clear();
      return false;
    }
    facts_ = facts_of(old_ != INVALID_HANDLE_VALUE ? old_ : new_);
    return true;
  }

  long write(const unsigned char* src, std::size_t size) override {
    DWORD put = 0;
    const DWORD n = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    if (!WriteFile(new_, src, n, &put, nullptr)) return -1;
    return static_cast<long>(put);
  }

  // The new file stays open until the commit, which replaces by its handle.
  bool close() override { return true; }

  FileFacts facts() const override { return facts_; }

  bool commit() override {
    // Its own hold on the old output would stop the replace.
    if (old_ != INVALID_HANDLE_VALUE) CloseHandle(old_);
    old_ = INVALID_HANDLE_VALUE;
    // On the disk before the name moves to it: after a crash the output is the old one or the
    // new one, never an empty file. A share that cannot flush says so, and is not a failure.
    if (new_ != INVALID_HANDLE_VALUE && !FlushFileBuffers(new_) &&
        GetLastError() != ERROR_INVALID_FUNCTION) {
      return false;
    }
    for (int attempt = 0; attempt < kReplaceTries && !committed_; ++attempt) {
      if (attempt > 0) Sleep(kReplacePauseMs);
      if (new_ != INVALID_HANDLE_VALUE && replaced_by_handle()) {
        committed_ = true;
        break;
      }
      const DWORD error = GetLastError();
      if (new_ != INVALID_HANDLE_VALUE && held_by_another(error)) continue;
      // A system without POSIX-style replacing (before Windows 10 1809, Wine): by names.
      if (new_ != INVALID_HANDLE_VALUE && !CloseHandle(new_)) {
        new_ = INVALID_HANDLE_VALUE;
        return false;
      }
      new_ = INVALID_HANDLE_VALUE;
      if (MoveFileExW(temp_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        committed_ = true;
      } else if (!held_by_another(GetLastError())) {
        return false;
      }
    }
    if (committed_ && new_ != INVALID_HANDLE_VALUE) {
      const bool closed = CloseHandle(new_) != 0;
      new_ = INVALID_HANDLE_VALUE;
      return closed;
    }
    return committed_;
  }

 private:
  // Replaces the old output with POSIX semantics, which work while another program has it
  // open with FILE_SHARE_DELETE: that program goes on reading the old file.
  bool replaced_by_handle() {
    const std::size_t bytes = sizeof(FILE_RENAME_INFO) + path_.size() * sizeof(wchar_t);
    std::string buffer(bytes, '\0');
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    const DWORD flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
    std::memcpy(info, &flags, sizeof flags);  // Flags shares its place with ReplaceIfExists
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(path_.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, path_.c_str(), path_.size() * sizeof(wchar_t));
    // FileRenameInfoEx, which the headers declare only for builds aimed at Windows 10 alone.
    constexpr auto kRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
    return SetFileInformationByHandle(new_, kRenameInfoEx,
                                      info, static_cast<DWORD>(bytes)) != 0;
  }

  std::wstring path_;
  std::wstring temp_;
  HANDLE old_ = INVALID_HANDLE_VALUE;
  HANDLE new_ = INVALID_HANDLE_VALUE;
  bool committed_ = false;
  FileFacts facts_;
};

// The console's requests to end, which the handler's thread hands to the waiting one. A
// close, log off or shut down ends the process once the handler returns: it waits until the
// watch has finished what it writes.
HANDLE g_stop = nullptr;
HANDLE g_finished = nullptr;

BOOL WINAPI on_console_event(DWORD event) {
  SetEvent(g_stop);
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    WaitForSingleObject(g_finished, 4000);
  }
  return TRUE;
}

// One watched folder and its pending read of changes.
struct WatchedFolder {
  HANDLE handle = INVALID_HANDLE_VALUE;
  OVERLAPPED overlapped{};
  std::string changes;  // the system's buffer of FILE_NOTIFY_INFORMATION records
  bool live = false;
};

constexpr DWORD kChangeFilter =
    FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE;

class DirectoryNotifier final : public Notifier {
 public:
  ~DirectoryNotifier() override {
    for (WatchedFolder& f : folders_) {
      if (f.handle != INVALID_HANDLE_VALUE) {
        CancelIoEx(f.handle, &f.overlapped);
        DWORD got;
        GetOverlappedResult(f.handle, &f.overlapped, &got, TRUE);
        CloseHandle(f.handle);
      }
      if (f.overlapped.hEvent != nullptr) CloseHandle(f.overlapped.hEvent);
    }
    SetEvent(g_finished);
  }

  bool open() {
    g_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    folders_.reserve(kMostFolders);
    // A process started in a group of its own ignores Ctrl+C until it asks for it again.
    SetConsoleCtrlHandler(nullptr, FALSE);
    return g_stop != nullptr && g_finished != nullptr && SetConsoleCtrlHandler(on_console_event, TRUE);
  }

  Kind kind(const char* name) override {
    const std::wstring path = exact_path(name);
    const DWORD a = path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return MISSING;
    return (a & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FOLDER : FILE;
  }

  Watch watch_folder(const char* folder, int& id) override {
    if (folders_.size() == kMostFolders) return LIMIT_REACHED;
    const std::wstring path = exact_path(folder);
    WatchedFolder f;
    f.handle = path.empty() ? INVALID_HANDLE_VALUE
                            : CreateFileW(path.c_str(), FILE_LIST_DIRECTORY,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    if (f.handle == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                     error == ERROR_DIRECTORY || path.empty()
                 ? NO_SUCH_FOLDER
                 : CANNOT_WATCH;
    }
    f.overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    f.changes.assign(kChangesSize, '\0');
    folders_.push_back(std::move(f));
    id = static_cast<int>(folders_.size() - 1);
    if (folders_.back().overlapped.hEvent == nullptr || !read_next(folders_.back())) {
      CloseHandle(folders_.back().handle);
      folders_.back().handle = INVALID_HANDLE_VALUE;
      return CANNOT_WATCH;
    }
    return WATCHING;
  }

  bool list(const char* folder, std::vector<std::string>& names) override {
    const std::wstring path = exact_path(folder);
    if (path.empty()) return false;
    WIN32_FIND_DATAW found;
    const HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return false;
    do {
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        names.push_back(bytes_of(found.cFileName));
      }
    } while (FindNextFileW(h, &found));
    FindClose(h);
    return true;
  }

  Wait wait(long timeout_ms, std::vector<Change>& changes) override {
    HANDLE events[MAXIMUM_WAIT_OBJECTS];
    int which[MAXIMUM_WAIT_OBJECTS];
    DWORD count = 0;
    events[count++] = g_stop;
    for (std::size_t i = 0; i < folders_.size(); ++i) {
      if (!folders_[i].live) continue;
      which[count] = static_cast<int>(i);
      events[count++] = folders_[i].overlapped.hEvent;
    }
    const DWORD waited =
        WaitForMultipleObjects(count, events, FALSE, timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms));
    if (waited == WAIT_TIMEOUT) return TIMED_OUT;
    if (waited == WAIT_OBJECT_0) return STOPPED;
    if (waited >= WAIT_OBJECT_0 + count) return FAILED;
    // Every folder with changes, not only the first, so that none waits behind a busy one.
    for (DWORD e = 1; e < count; ++e) {
      if (WaitForSingleObject(events[e], 0) == WAIT_OBJECT_0) take(which[e], changes);
    }
    return CHANGES;
  }

 private:
  bool read_next(WatchedFolder& f) {
    ResetEvent(f.overlapped.hEvent);
    f.live = ReadDirectoryChangesW(f.handle, f.changes.data(), static_cast<DWORD>(f.changes.size()),
                                   FALSE, kChangeFilter, nullptr, &f.overlapped, nullptr) != 0;
    return f.live;
  }

  void take(int id, std::vector<Change>& changes) {
    WatchedFolder& f = folders_[static_cast<std::size_t>(id)];
    DWORD got = 0;
    if (!GetOverlappedResult(f.handle, &f.overlapped, &got, FALSE)) {
      const DWORD error = GetLastError();
      if (error != ERROR_NOTIFY_ENUM_DIR) {
        f.live = false;
        changes.push_back({Change::FOLDER_GONE, id, {}});
        return;
      }
      got = 0;
    }
    // Nothing read: the system had more changes than the buffer held.
    if (got == 0) changes.push_back({Change::OVERFLOWED, id, {}});
    for (DWORD at = 0; got != 0 && at + sizeof(FILE_NOTIFY_INFORMATION) <= got;) {
      FILE_NOTIFY_INFORMATION record;
      std::memcpy(&record, f.changes.data() + at, sizeof record);
      const wchar_t* name = reinterpret_cast<const wchar_t*>(
          f.changes.data() + at + offsetof(FILE_NOTIFY_INFORMATION, FileName));
      Change c;
      c.folder = id;
      c.kind = record.Action == FILE_ACTION_REMOVED || record.Action == FILE_ACTION_RENAMED_OLD_NAME
                   ? Change::REMOVED
                   : Change::WRITTEN;
      c.name = bytes_of(name, record.FileNameLength / sizeof(wchar_t));
      changes.push_back(c);
      if (record.NextEntryOffset == 0) break;
      at += record.NextEntryOffset;
    }
    if (!read_next(f)) changes.push_back({Change::FOLDER_GONE, id, {}});
  }

  // One wait takes at most 64 objects: the stop and 63 folders.
  static constexpr std::size_t kMostFolders = MAXIMUM_WAIT_OBJECTS - 1;
  static constexpr std::size_t kChangesSize = 64 * 1024;
  std::vector<WatchedFolder> folders_;
};

class SystemClock final : public Clock {
 public:
  long long now_ms() override { return static_cast<long long>(GetTickCount64()); }
  void time_of_day(char (&text)[kTimeOfDaySize]) override {
    SYSTEMTIME t;
    GetLocalTime(&t);
    text[0] = static_cast<char>('0' + t.wHour / 10);
    text[1] = static_cast<char>('0' + t.wHour % 10);
    text[2] = ':';
    text[3] = static_cast<char>('0' + t.wMinute / 10);
    text[4] = static_cast<char>('0' + t.wMinute % 10);
    text[5] = ':';
    text[6] = static_cast<char>('0' + t.wSecond / 10);
    text[7] = static_cast<char>('0' + t.wSecond % 10);
    text[8] = '\0';
  }
};

}  // namespace

std::unique_ptr<ReplacingFile> open_native_replacing(const char* name) {
  auto file = std::make_unique<Win32ReplacingFile>();
  if (!file->open(name)) return nullptr;
  return file;
}

std::unique_ptr<Notifier> system_notifier() {
  auto notifier = std::make_unique<DirectoryNotifier>();
  if (!notifier->open()) return nullptr;
  return notifier;
}

std::unique_ptr<Clock> system_clock() {
  return std::make_unique<SystemClock>();
}

}  // namespace veltrim
