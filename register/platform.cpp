#include "register/platform.h"

#include <cstdlib>
#include <system_error>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <process.h>
#include <sddl.h>
#include <vector>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>
#endif

namespace mirelo::registry::platform {

#ifdef _WIN32

namespace {

// The SID of the account this process runs as, in its string form.
std::optional<std::wstring> AccountSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::nullopt;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    std::optional<std::wstring> sid;
    LPWSTR text = nullptr;
    if (size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
        sid = text;
        LocalFree(text);
    }
    CloseHandle(token);
    return sid;
}

std::string WindowsError(DWORD code) { return std::system_category().message(static_cast<int>(code)); }

}  // namespace

std::optional<std::string> MakePrivateFolder(const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return ec.message();
    const auto sid = AccountSid();
    if (!sid) return std::string("the account's security identifier is not known: ") + WindowsError(GetLastError());
    // Protected (P): nothing inherited from above; full access (FA) for the account alone, passed
    // on to files (OI) and folders (CI) created inside.
    const std::wstring sddl = L"D:P(A;OICI;FA;;;" + *sid + L")";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        return WindowsError(GetLastError());
    }
    const BOOL set = SetFileSecurityW(folder.c_str(), DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, descriptor);
    const DWORD error = GetLastError();
    LocalFree(descriptor);
    if (!set) return "its access list cannot be set: " + WindowsError(error);
    return std::nullopt;
}

void MakePrivateFile(const std::filesystem::path& /*file*/) {}

std::filesystem::path UserDataFolder() {
    const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
    const std::filesystem::path base = local != nullptr && *local != L'\0' ? std::filesystem::path(local) : std::filesystem::path(".");
    return base / "Mirelo";
}

std::optional<std::string> NarrowFileName(const std::filesystem::path& file) {
    const std::wstring& wide = file.native();
    if (wide.empty()) return std::string();
    BOOL lossy = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, &lossy);
    if (size <= 0 || lossy) return std::nullopt;
    std::string narrow(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), narrow.data(), size, nullptr, &lossy);
    return narrow;
}

unsigned long ProcessId() { return static_cast<unsigned long>(_getpid()); }

std::tm UtcTime(std::time_t time) {
    std::tm tm{};
    gmtime_s(&tm, &time);
    return tm;
}

std::optional<std::uint32_t> LocalIpv4(std::uintptr_t socket) {
    sockaddr_in local{};
    int length = sizeof local;
    if (::getsockname(static_cast<SOCKET>(socket), reinterpret_cast<sockaddr*>(&local), &length) != 0 || local.sin_family != AF_INET) {
        return std::nullopt;
    }
    return local.sin_addr.s_addr;
}

std::optional<std::string> RebindListeningSocket(std::uint16_t /*port*/, std::uint32_t /*address*/) {
    return std::string("a listening socket cannot be replaced on Windows");
}

bool DiscardWritesTo(const std::filesystem::path& /*file*/) { return false; }

#else

std::optional<std::string> MakePrivateFolder(const std::filesystem::path& folder) {
    ::umask(077);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return ec.message();
    if (::chmod(folder.c_str(), 0700) != 0) return std::string("cannot be set to 0700");
    return std::nullopt;
}

void MakePrivateFile(const std::filesystem::path& file) { ::chmod(file.c_str(), 0600); }

std::filesystem::path UserDataFolder() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && *xdg == '/') return std::filesystem::path(xdg) / "mirelo";
    const char* home = std::getenv("HOME");
    const std::filesystem::path base = home != nullptr && *home != '\0' ? std::filesystem::path(home) : std::filesystem::path(".");
    return base / ".local" / "share" / "mirelo";
}

std::optional<std::string> NarrowFileName(const std::filesystem::path& file) { return file.native(); }

unsigned long ProcessId() { return static_cast<unsigned long>(::getpid()); }

std::tm UtcTime(std::time_t time) {
    std::tm tm{};
    gmtime_r(&time, &tm);
    return tm;
}

std::optional<std::uint32_t> LocalIpv4(std::uintptr_t socket) {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(static_cast<int>(socket), reinterpret_cast<sockaddr*>(&local), &length) != 0 || local.sin_family != AF_INET) {
        return std::nullopt;
    }
    return local.sin_addr.s_addr;
}

namespace {

// The descriptor numbers of this process, with what each refers to.
std::vector<std::pair<int, std::string>> Descriptors() {
    std::vector<std::pair<int, std::string>> fds;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        fds.emplace_back(std::stoi(name), std::filesystem::read_symlink(entry.path(), ec).string());
    }
    return fds;
}

}  // namespace

std::optional<std::string> RebindListeningSocket(std::uint16_t port, std::uint32_t address) {
    int listening = -1;
    for (const auto& [fd, target] : Descriptors()) {
        sockaddr_in local{};
        socklen_t length = sizeof local;
        int accepting = 0;
        socklen_t size = sizeof accepting;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0 && local.sin_family == AF_INET &&
            ntohs(local.sin_port) == port && local.sin_addr.s_addr == htonl(INADDR_ANY) &&
            ::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &accepting, &size) == 0 && accepting != 0) {
            listening = fd;
        }
    }
    if (listening < 0) return std::string("the listening socket was not found");
    const int fresh = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fresh < 0) return std::string(std::strerror(errno));
    // dup2 closes DCMTK's socket (the port is free again) and puts the new one in its place.
    const bool moved = ::dup2(fresh, listening) == listening;
    const int error = errno;
    ::close(fresh);
    if (!moved) return std::string(std::strerror(error));
    const int reuse = 1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = address;
    if (::setsockopt(listening, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) != 0 ||
        ::bind(listening, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || ::listen(listening, 64) != 0) {
        return std::string(std::strerror(errno));
    }
    return std::nullopt;
}

bool DiscardWritesTo(const std::filesystem::path& file) {
    std::error_code ec;
    const std::string target = std::filesystem::weakly_canonical(file, ec).string();
    bool done = false;
    for (const auto& [fd, path] : Descriptors()) {
        if (path != target) continue;
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null < 0) return false;
        done = ::dup2(null, fd) == fd;
        ::close(null);
    }
    return done;
}

#endif

std::optional<std::uint32_t> ParseIpv4(const std::string& text) {
#ifdef _WIN32
    // Winsock wants to be started before its functions are called, this one too.
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started) return std::nullopt;
#endif
    in_addr address{};
    if (::inet_pton(AF_INET, text.c_str(), &address) != 1) return std::nullopt;
    return address.s_addr;
}

}  // namespace mirelo::registry::platform
