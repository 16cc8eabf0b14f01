#pragma once

// The DICOM storage service the X-ray units and a PACS send their dose reports to (DCMTK's DcmSCP):
// C-ECHO, and C-STORE of the X-Ray Radiation Dose SR storage class only; every other class is
// refused in the association. Each object received is written to the archive folder and handed
// to the caller, whose answer (committed, or why not) becomes the C-STORE response.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace mirelo::registry {

// A sender allowed to associate: its calling AE title, and optionally its IP address.
struct Caller {
    std::string aet;
    std::string host;  // empty: from any address
};

// "AET" or "AET@HOST": an AE title of 1 to 16 characters without backslash or control characters.
std::optional<Caller> ParseCaller(std::string_view text);

struct ListenerConfig {
    std::uint16_t port = 11112;
    std::string aet = "MIRELO";
    std::string bind = "127.0.0.1";  // an IPv4 address, or 0.0.0.0 for every interface
    std::vector<Caller> allow;       // empty: any caller
    std::filesystem::path archive;   // created 0700; files 0600
    std::uintmax_t maxObjectBytes = 64u << 20;
};

// What the caller made of one received object.
struct Verdict {
    enum class Kind { Stored, NotAReport, Failed } kind = Kind::Stored;
    std::string reason;  // for the error comment of a refusal
};

// Called with the archived file and its source ("dicom:AET@IP").
using Receiver = std::function<Verdict(const std::filesystem::path& file, const std::string& source)>;
// One line for the service's log.
using Logger = std::function<void(const std::string& line)>;

// Listens until `stop` is set: checked every second while idle and after each association, so
// that an association in progress finishes with its reports committed. The error is why the
// service could not start (archive folder, address, port).
Result<bool, std::string> Listen(const ListenerConfig& config, const Receiver& receive, const Logger& log,
                                 const std::atomic<bool>& stop);

}  // namespace mirelo::registry
