#pragma once

// What the register needs of the operating system, the same on every platform: the private archive
// folder, the user's data folder, the time, addresses. The only file of the register that differs
// between POSIX and Windows is platform.cpp.
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

namespace mirelo::registry::platform {

// Creates `folder` (and its parents) for this account only: on POSIX mode 0700, with every file
// created afterwards by this process 0600 from its first byte (umask 077); on Windows a protected
// access list that grants the account alone full control and is inherited by what is created in
// it. The error says why not.
std::optional<std::string> MakePrivateFolder(const std::filesystem::path& folder);

// A file received into a private folder: 0600 on POSIX; on Windows it has the folder's access list.
void MakePrivateFile(const std::filesystem::path& file);

// The program's folder in the user's data: $XDG_DATA_HOME/mirelo, else ~/.local/share/mirelo on
// POSIX; %LOCALAPPDATA%\Mirelo on Windows. Relative to the working folder when the environment
// names no home.
std::filesystem::path UserDataFolder();

// A file name as the DICOM library's narrow-character functions open it: the name's bytes on POSIX,
// the system code page on Windows; nothing when a character of it has no place there.
std::optional<std::string> NarrowFileName(const std::filesystem::path& file);

unsigned long ProcessId();

std::tm UtcTime(std::time_t time);

// A dotted IPv4 address in network byte order; nothing for anything else.
std::optional<std::uint32_t> ParseIpv4(const std::string& text);

// The local IPv4 address (network byte order) a connected socket was accepted on.
std::optional<std::uint32_t> LocalIpv4(std::uintptr_t socket);

constexpr std::uint32_t kAnyAddress = 0;  // 0.0.0.0 in any byte order

// DCMTK 3.6.7 binds the port on every interface. On POSIX the listening socket it opened is replaced,
// under its descriptor number, by one bound to `address` (network byte order) alone, so that the
// kernel refuses connections to any other local address; the error is why it could not be done.
// Windows has no such replacement of a socket: there the listener checks the address of each
// connection it accepts instead.
#ifdef _WIN32
inline constexpr bool kRebindsListeningSocket = false;
#else
inline constexpr bool kRebindsListeningSocket = true;
#endif
std::optional<std::string> RebindListeningSocket(std::uint16_t port, std::uint32_t address);

// Points what this process has open on `file` at the null device, so that what is written after is
// discarded; false when it could not (always on Windows, where the file is written whole).
bool DiscardWritesTo(const std::filesystem::path& file);

}  // namespace mirelo::registry::platform
