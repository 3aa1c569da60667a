// Files and memory mapping on open/fstat/mmap. Handles are entries of one table (files and mappings); a mapping
// keeps its own descriptor, so it outlives CloseHandle of its file, and views outlive CloseHandle of the mapping,
// as documented. Backslashes in names are separators; when an existing file is asked for and the exact name is
// missing, each name component is matched without regard to case, as the program's Windows names expect.
// Only regular files open: a directory, FIFO, socket or device fails at once with ERROR_ACCESS_DENIED, what
// Windows answers for a directory. Opening a FIFO would otherwise wait for a writer, and reading it for data.
//
// Windows refuses to cut a file shorter than its mapped views; Linux lets another process do it, and the next
// read of a view past the new end raises SIGBUS. Views are therefore guarded: a SIGBUS inside a view maps zero
// pages over it from the faulting page to its end and the read resumes, seeing zeros where the file vanished.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <strings.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

#include "Win32Internal.h"
#include "platform/win32/Win32.h"

namespace {

using tarn::platform::detail::FailsNow;

enum class Kind { File, Mapping };

struct Entry {
    Kind kind = Kind::File;
    int fd = -1;
    bool writable = false;
    std::uint64_t size = 0;  // mapping size (files ask fstat)
};

struct View {
    std::size_t length = 0;
};

std::mutex& TableMutex() {
    static std::mutex mutex;
    return mutex;
}
std::unordered_map<std::uintptr_t, Entry>& Handles() {
    static std::unordered_map<std::uintptr_t, Entry> handles;
    return handles;
}
std::map<std::uintptr_t, View>& Views() {
    static std::map<std::uintptr_t, View> views;
    return views;
}
std::uintptr_t g_nextHandle = 0x1000;

// The guarded views, in a fixed table that the SIGBUS handler reads without locks. A slot is filled with `end`
// and `protection` before `begin`, and emptied by clearing `begin` first. Views beyond the table's size are
// mapped unguarded.
struct GuardSlot {
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0};
    std::atomic<int> protection{0};
};
constexpr std::size_t kGuardSlots = 256;
GuardSlot g_guards[kGuardSlots];
struct sigaction g_previousBusAction;
std::uintptr_t g_pageSize = 4096;

// The guarded view that holds `address`, or null. Only reads of atomics: safe in a signal handler.
GuardSlot* GuardedViewAt(std::uintptr_t address) {
    for (GuardSlot& slot : g_guards) {
        const std::uintptr_t begin = slot.begin.load(std::memory_order_acquire);
        if (begin != 0 && address >= begin && address < slot.end.load(std::memory_order_acquire)) {
            return &slot;
        }
    }
    return nullptr;
}

void OnBusError(int number, siginfo_t* info, void* context) {
    // A read or write of a mapped page past its file's end; a SIGBUS sent by kill() names no address.
    if (info->si_code == BUS_ADRERR) {
        const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
        if (GuardSlot* view = GuardedViewAt(address)) {
            // Every page from the faulting one on lies past the file's new end: replace them all at once.
            const std::uintptr_t page = address & ~(g_pageSize - 1);
            const std::uintptr_t end = view->end.load(std::memory_order_acquire);
            if (::mmap(reinterpret_cast<void*>(page), end - page, view->protection.load(std::memory_order_relaxed),
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
                return;
            }
        }
    }
    // Not a view's fault: what was there before decides.
    const struct sigaction& previous = g_previousBusAction;
    if ((previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction != nullptr) {
        previous.sa_sigaction(number, info, context);
    } else if (previous.sa_handler == SIG_IGN && info->si_code <= 0) {
        return;  // sent by a process, and ignored before
    } else if (previous.sa_handler == SIG_DFL || previous.sa_handler == SIG_IGN) {
        // Ends the process as it would have ended without this handler, once the handler returns and the
        // signal is unblocked.
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        ::sigaction(SIGBUS, &fallback, nullptr);
        ::raise(SIGBUS);
    } else {
        previous.sa_handler(number);
    }
}

void InstallBusGuard() {
    static std::once_flag once;
    std::call_once(once, [] {
        const long page = ::sysconf(_SC_PAGESIZE);
        if (page > 0) {
            g_pageSize = static_cast<std::uintptr_t>(page);
        }
        struct sigaction action {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &g_previousBusAction);
    });
}

// Both run under TableMutex, so slots are claimed and released one at a time.
void GuardView(std::uintptr_t base, std::size_t length, int protection) {
    for (GuardSlot& slot : g_guards) {
        if (slot.begin.load(std::memory_order_relaxed) == 0) {
            slot.end.store(base + length, std::memory_order_relaxed);
            slot.protection.store(protection, std::memory_order_relaxed);
            slot.begin.store(base, std::memory_order_release);
            return;
        }
    }
}

void UnguardView(std::uintptr_t base) {
    for (GuardSlot& slot : g_guards) {
        if (slot.begin.load(std::memory_order_relaxed) == base) {
            slot.begin.store(0, std::memory_order_release);
            slot.end.store(0, std::memory_order_relaxed);
            return;
        }
    }
}

HANDLE AddHandle(const Entry& entry) {
    std::lock_guard lock(TableMutex());
    std::uintptr_t id = g_nextHandle;
    g_nextHandle += 4;
    Handles()[id] = entry;
    return reinterpret_cast<HANDLE>(id);
}

bool GetEntry(HANDLE handle, Kind kind, Entry* out) {
    std::lock_guard lock(TableMutex());
    auto it = Handles().find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == Handles().end() || it->second.kind != kind) {
        return false;
    }
    *out = it->second;
    return true;
}

DWORD ErrorFromErrno(int error) {
    switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ENXIO:
    case ENODEV:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENAMETOOLONG: return ERROR_PATH_NOT_FOUND;
    default: return ERROR_INVALID_FUNCTION;
    }
}

std::string NativePath(const char* name) {
    std::string path = name;
    for (char& c : path) {
        if (c == '\\') {
            c = '/';
        }
    }
    return path;
}

// The existing path that matches `path` component by component without regard to case, or "" when none does.
std::string ResolveCase(const std::string& path) {
    std::string resolved = path.starts_with('/') ? "/" : "";
    std::size_t start = resolved.size();
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        start = slash == std::string::npos ? path.size() + 1 : slash + 1;
        if (part.empty()) {
            continue;
        }
        std::string base = resolved.empty() ? "." : resolved;
        std::string candidate = (resolved.empty() || resolved.ends_with('/')) ? resolved + part : resolved + "/" + part;
        struct stat st{};
        if (part == "." || part == ".." || ::stat(candidate.c_str(), &st) == 0) {
            resolved = candidate;
            continue;
        }
        DIR* dir = opendir(base.c_str());
        if (dir == nullptr) {
            return "";
        }
        std::string match;
        while (dirent* e = readdir(dir)) {
            if (strcasecmp(e->d_name, part.c_str()) == 0) {
                match = e->d_name;
                break;
            }
        }
        closedir(dir);
        if (match.empty()) {
            return "";
        }
        resolved = (resolved.empty() || resolved.ends_with('/')) ? resolved + match : resolved + "/" + match;
    }
    return resolved;
}

// A missing file whose folder is missing too is a missing path.
DWORD MissingError(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) {
        return ERROR_FILE_NOT_FOUND;
    }
    struct stat st{};
    std::string folder = path.substr(0, slash);
    if (::stat(folder.c_str(), &st) != 0 && ResolveCase(folder).empty()) {
        return ERROR_PATH_NOT_FOUND;
    }
    return ERROR_FILE_NOT_FOUND;
}

std::u16string Utf16Name(LPCWSTR name) {
    std::u16string out;
    for (const WCHAR* p = name; *p != 0; ++p) {
        out += *p;
    }
    return out;
}

}  // namespace

HANDLE CreateFileA(LPCSTR fileName, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD creation, DWORD,
                   HANDLE) {
    if (FailsNow("CreateFileA")) {
        return INVALID_HANDLE_VALUE;
    }
    if (fileName == nullptr || fileName[0] == 0) {
        SetLastError(fileName == nullptr ? ERROR_INVALID_PARAMETER : ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    bool read = (access & GENERIC_READ) != 0;
    bool write = (access & GENERIC_WRITE) != 0;
    int flags = O_CLOEXEC | (write ? (read ? O_RDWR : O_WRONLY) : O_RDONLY);
    switch (creation) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING:
        if (!write) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
        }
        flags |= O_TRUNC;
        break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
    }
    std::string path = NativePath(fileName);
    struct stat before{};
    bool existed = ::stat(path.c_str(), &before) == 0;
    if (!existed && (creation == OPEN_EXISTING || creation == TRUNCATE_EXISTING || creation == OPEN_ALWAYS ||
                     creation == CREATE_ALWAYS)) {
        std::string resolved = ResolveCase(path);
        if (!resolved.empty()) {
            path = resolved;
            existed = true;
        }
    }
    if (existed && ::stat(path.c_str(), &before) == 0 && !S_ISREG(before.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    // Non-blocking while opening, so that a FIFO put in the file's place since the check above cannot hold the
    // open; the descriptor is checked again and made blocking below.
    int fd = ::open(path.c_str(), flags | O_NONBLOCK, 0666);
    if (fd < 0) {
        SetLastError(errno == ENOENT ? MissingError(path) : ErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    struct stat opened{};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    Entry entry;
    entry.kind = Kind::File;
    entry.fd = fd;
    entry.writable = write;
    HANDLE handle = AddHandle(entry);
    // Opening an existing file with a "create" disposition succeeds and says so.
    SetLastError(existed && (creation == CREATE_ALWAYS || creation == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                    : ERROR_SUCCESS);
    return handle;
}

HANDLE CreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security, DWORD creation,
                   DWORD flags, HANDLE templateFile) {
    if (fileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::u16string wide = Utf16Name(fileName);
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string name(static_cast<std::size_t>(bytes > 0 ? bytes : 1), '\0');
    if (bytes <= 0 || WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, name.data(), bytes, nullptr, nullptr) <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileA(name.c_str(), access, shareMode, security, creation, flags, templateFile);
}

DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh) {
    Entry entry;
    struct stat st{};
    if (!GetEntry(file, Kind::File, &entry)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    if (::fstat(entry.fd, &st) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return INVALID_FILE_SIZE;
    }
    auto size = static_cast<std::uint64_t>(st.st_size);
    if (fileSizeHigh != nullptr) {
        *fileSizeHigh = static_cast<DWORD>(size >> 32);
    }
    // A low part that equals INVALID_FILE_SIZE is told apart from failure by the last error.
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size & 0xFFFFFFFFu);
}

HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES, DWORD protect, DWORD maxSizeHigh, DWORD maxSizeLow,
                          LPCSTR) {
    if (FailsNow("CreateFileMappingA")) {
        return nullptr;
    }
    DWORD page = protect & 0xFF;
    if (page != PAGE_READONLY && page != PAGE_READWRITE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    bool writable = page == PAGE_READWRITE;
    std::uint64_t wanted = (static_cast<std::uint64_t>(maxSizeHigh) << 32) | maxSizeLow;
    Entry mapping;
    mapping.kind = Kind::Mapping;
    mapping.writable = writable;
    if (file == INVALID_HANDLE_VALUE) {
        // Memory not backed by a file (an anonymous shared file here): the size must be given.
        if (wanted == 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        mapping.fd = ::memfd_create("tarn-mapping", MFD_CLOEXEC);
        if (mapping.fd < 0 || ::ftruncate(mapping.fd, static_cast<off_t>(wanted)) != 0) {
            SetLastError(ErrorFromErrno(errno));
            if (mapping.fd >= 0) {
                ::close(mapping.fd);
            }
            return nullptr;
        }
        mapping.size = wanted;
        return AddHandle(mapping);
    }
    Entry entry;
    if (!GetEntry(file, Kind::File, &entry)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (writable && !entry.writable) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    struct stat st{};
    if (::fstat(entry.fd, &st) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return nullptr;
    }
    auto fileSize = static_cast<std::uint64_t>(st.st_size);
    std::uint64_t size = wanted == 0 ? fileSize : wanted;
    if (size == 0) {
        // An empty file cannot be mapped whole, as on Windows.
        SetLastError(ERROR_FILE_INVALID);
        return nullptr;
    }
    if (size > fileSize) {
        if (!writable) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        if (::ftruncate(entry.fd, static_cast<off_t>(size)) != 0) {
            SetLastError(ErrorFromErrno(errno));
            return nullptr;
        }
    }
    mapping.fd = ::fcntl(entry.fd, F_DUPFD_CLOEXEC, 0);
    if (mapping.fd < 0) {
        SetLastError(ErrorFromErrno(errno));
        return nullptr;
    }
    mapping.size = size;
    return AddHandle(mapping);
}

LPVOID MapViewOfFile(HANDLE mappingHandle, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes) {
    if (FailsNow("MapViewOfFile")) {
        return nullptr;
    }
    Entry mapping;
    if (!GetEntry(mappingHandle, Kind::Mapping, &mapping)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    bool write = (access & FILE_MAP_WRITE) != 0;
    if (write && !mapping.writable) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    std::uint64_t offset = (static_cast<std::uint64_t>(offsetHigh) << 32) | offsetLow;
    if (offset % 0x10000 != 0) {
        SetLastError(ERROR_MAPPED_ALIGNMENT);
        return nullptr;
    }
    if (offset > mapping.size || (bytes == 0 && offset == mapping.size)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    std::uint64_t length = bytes == 0 ? mapping.size - offset : bytes;
    if (length > mapping.size - offset) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    int prot = PROT_READ | (write ? PROT_WRITE : 0);
    InstallBusGuard();
    void* base = ::mmap(nullptr, length, prot, MAP_SHARED, mapping.fd, static_cast<off_t>(offset));
    if (base == MAP_FAILED) {
        SetLastError(ErrorFromErrno(errno));
        return nullptr;
    }
    std::lock_guard lock(TableMutex());
    Views()[reinterpret_cast<std::uintptr_t>(base)] = View{static_cast<std::size_t>(length)};
    GuardView(reinterpret_cast<std::uintptr_t>(base), static_cast<std::size_t>(length), prot);
    return base;
}

BOOL UnmapViewOfFile(LPCVOID base) {
    std::lock_guard lock(TableMutex());
    auto it = Views().find(reinterpret_cast<std::uintptr_t>(base));
    if (it == Views().end()) {
        SetLastError(ERROR_INVALID_ADDRESS);
        return FALSE;
    }
    UnguardView(it->first);
    ::munmap(const_cast<void*>(base), it->second.length);
    Views().erase(it);
    return TRUE;
}

BOOL CloseHandle(HANDLE object) {
    std::lock_guard lock(TableMutex());
    auto it = Handles().find(reinterpret_cast<std::uintptr_t>(object));
    if (it == Handles().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (it->second.fd >= 0) {
        ::close(it->second.fd);
    }
    Handles().erase(it);
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten, LPOVERLAPPED overlapped) {
    if (bytesWritten != nullptr) {
        *bytesWritten = 0;
    }
    if (FailsNow("WriteFile")) {
        return FALSE;
    }
    Entry entry;
    if (!GetEntry(file, Kind::File, &entry)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (overlapped != nullptr || (buffer == nullptr && bytesToWrite != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!entry.writable) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    // write() may take less than asked (a signal, a nearly full disk); Windows writes all or fails.
    const auto* p = static_cast<const BYTE*>(buffer);
    DWORD done = 0;
    while (done < bytesToWrite) {
        const ssize_t n = ::write(entry.fd, p + done, bytesToWrite - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            SetLastError(n == 0 ? ERROR_DISK_FULL : ErrorFromErrno(errno));
            if (bytesWritten != nullptr) {
                *bytesWritten = done;
            }
            return FALSE;
        }
        done += static_cast<DWORD>(n);
    }
    if (bytesWritten != nullptr) {
        *bytesWritten = done;
    }
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE file) {
    if (FailsNow("FlushFileBuffers")) {
        return FALSE;
    }
    Entry entry;
    if (!GetEntry(file, Kind::File, &entry)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (::fsync(entry.fd) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL MoveFileExA(LPCSTR existingName, LPCSTR newName, DWORD flags) {
    if (FailsNow("MoveFileExA")) {
        return FALSE;
    }
    if (existingName == nullptr || newName == nullptr || existingName[0] == 0 || newName[0] == 0 ||
        (flags & ~static_cast<DWORD>(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string from = NativePath(existingName);
    const std::string to = NativePath(newName);
    struct stat target {};
    if (::lstat(to.c_str(), &target) == 0) {
        if (S_ISDIR(target.st_mode)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if ((flags & MOVEFILE_REPLACE_EXISTING) == 0) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return FALSE;
        }
    }
    if (::rename(from.c_str(), to.c_str()) != 0) {
        SetLastError(errno == ENOENT ? MissingError(from) : ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL DeleteFileA(LPCSTR fileName) {
    if (FailsNow("DeleteFileA")) {
        return FALSE;
    }
    if (fileName == nullptr || fileName[0] == 0) {
        SetLastError(fileName == nullptr ? ERROR_INVALID_PARAMETER : ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    const std::string path = NativePath(fileName);
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (::unlink(path.c_str()) != 0) {
        SetLastError(errno == ENOENT ? MissingError(path) : ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}
