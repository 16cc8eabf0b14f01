#include "register/listener.h"

#include "dcmtk/config/osconfig.h"  // first, as DCMTK requires

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcuid.h"
#include "dcmtk/dcmnet/diutil.h"
#include "dcmtk/dcmnet/scp.h"
#include "dcmtk/oflog/oflog.h"

namespace mirelo::registry {
namespace {

// DICOM status codes of a C-STORE response.
constexpr Uint16 kStatusOutOfResources = 0xA700;
constexpr Uint16 kStatusCannotUnderstand = 0xC000;

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

// DCMTK 3.6.7 binds the port on every interface (its network layer names INADDR_ANY itself). The
// listening socket DcmSCP::openListenPort() made is replaced, under its descriptor number, by one
// bound to `address` alone, on which DcmSCP then accepts: connections to any other local address
// are refused by the kernel. The error is why it could not be done.
std::optional<std::string> BindListeningSocket(std::uint16_t port, in_addr address) {
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
    local.sin_addr = address;
    if (::setsockopt(listening, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) != 0 ||
        ::bind(listening, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || ::listen(listening, 64) != 0) {
        return std::string(std::strerror(errno));
    }
    return std::nullopt;
}

// Points the descriptor open on `file` at /dev/null: what is written after is discarded.
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

std::string Trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    while (!text.empty() && text.front() == ' ') text.erase(text.begin());
    return text;
}

class Service : public DcmSCP {
public:
    Service(const ListenerConfig& config, const Receiver& receive, const Logger& log, const std::atomic<bool>& stop)
        : config_(config), receive_(receive), log_(log), stop_(stop) {}

protected:
    OFBool checkCalledAETitleAccepted(const OFString& calledAE) override {
        const bool ok = Trimmed(calledAE.c_str()) == config_.aet;
        if (!ok) log_("association refused: called AE title '" + Trimmed(calledAE.c_str()) + "' is not " + config_.aet);
        return ok;
    }

    OFBool checkCallingAETitleAccepted(const OFString& callingAE) override {
        if (config_.allow.empty()) return OFTrue;
        const std::string aet = Trimmed(callingAE.c_str());
        const std::string host = getPeerIP().c_str();
        for (const Caller& c : config_.allow) {
            if (c.aet == aet && (c.host.empty() || c.host == host)) return OFTrue;
        }
        log_("association refused: calling AE title '" + aet + "' from " + host + " is not allowed");
        return OFFalse;
    }

    void notifyAssociationAcknowledge() override {
        log_("association from " + std::string(getPeerAETitle().c_str()) + "@" + getPeerIP().c_str());
    }

    OFCondition handleIncomingCommand(T_DIMSE_Message* message, const DcmPresentationContextInfo& info) override {
        if (message->CommandField != DIMSE_C_STORE_RQ) {
            return DcmSCP::handleIncomingCommand(message, info);  // C-ECHO, or refused as unknown
        }
        T_DIMSE_C_StoreRQ& request = message->msg.CStoreRQ;
        const std::string sopInstance = request.AffectedSOPInstanceUID;
        const std::filesystem::path incoming = config_.archive / (".incoming-" + std::to_string(::getpid()) + ".dcm");
        incoming_ = incoming;
        received_ = 0;
        writtenUpTo_.reset();
        OFCondition cond = receiveSTORERequest(request, info.presentationContextID, OFString(incoming.c_str()));
        incoming_.clear();
        if (cond.bad()) {
            std::error_code ec;
            std::filesystem::remove(incoming, ec);
            log_(std::string("receiving ") + sopInstance + " failed: " + cond.text());
            return cond;
        }
        ::chmod(incoming.c_str(), 0600);
        Uint16 status = STATUS_Success;
        std::string reason;
        std::error_code ec;
        const auto size = writtenUpTo_ ? received_ : std::filesystem::file_size(incoming, ec);
        if (ec || size > config_.maxObjectBytes) {
            std::filesystem::remove(incoming, ec);
            status = kStatusOutOfResources;
            reason = "object of " + std::to_string(size) + " bytes over the limit of " + std::to_string(config_.maxObjectBytes);
            if (writtenUpTo_) log_("C-STORE " + sopInstance + ": written up to byte " + std::to_string(*writtenUpTo_) + " only");
        } else {
            const std::filesystem::path file = ArchiveName(sopInstance);
            std::filesystem::rename(incoming, file, ec);
            if (ec) {
                status = kStatusOutOfResources;
                reason = "cannot be archived: " + ec.message();
            } else {
                const std::string source = "dicom:" + std::string(getPeerAETitle().c_str()) + "@" + getPeerIP().c_str();
                const Verdict verdict = receive_(file, source);
                if (verdict.kind != Verdict::Kind::Stored) {
                    status = verdict.kind == Verdict::Kind::NotAReport ? kStatusCannotUnderstand : kStatusOutOfResources;
                    reason = verdict.reason;
                }
            }
        }
        DcmDataset detail;
        DcmDataset* detailPointer = nullptr;
        if (status != STATUS_Success) {
            // The error comment is at most 64 characters.
            detail.putAndInsertString(DCM_ErrorComment, reason.substr(0, 64).c_str());
            detailPointer = &detail;
            log_("C-STORE " + sopInstance + " refused: " + reason);
        }
        return sendSTOREResponse(info.presentationContextID, request.MessageID, request.AffectedSOPClassUID,
                                 request.AffectedSOPInstanceUID, status, detailPointer);
    }

    // Called after each piece of the data set written to the incoming file: once the object is over
    // the limit, the rest is still read from the network (so that the refusal can be answered on the
    // association) but no longer written.
    void notifyRECEIVEProgress(const unsigned long byteCount) override {
        received_ = byteCount;
        if (incoming_.empty() || writtenUpTo_ || byteCount <= config_.maxObjectBytes) return;
        if (DiscardWritesTo(incoming_)) writtenUpTo_ = byteCount;
    }

    OFBool stopAfterCurrentAssociation() override { return stop_.load(); }
    OFBool stopAfterConnectionTimeout() override { return stop_.load(); }

private:
    // <received time>-<SOP Instance UID>.dcm, numbered when a file of that name is there already.
    std::filesystem::path ArchiveName(const std::string& uid) const {
        std::string safe;
        for (char c : uid) safe += (c >= '0' && c <= '9') || c == '.' ? c : '_';
        const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
        std::tm tm{};
        gmtime_r(&now, &tm);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &tm);
        std::filesystem::path file = config_.archive / (std::string(stamp) + "-" + safe + ".dcm");
        for (int n = 1; std::filesystem::exists(file); ++n) {
            file = config_.archive / (std::string(stamp) + "-" + safe + "-" + std::to_string(n) + ".dcm");
        }
        return file;
    }

    const ListenerConfig& config_;
    const Receiver& receive_;
    const Logger& log_;
    const std::atomic<bool>& stop_;
    std::filesystem::path incoming_;          // while a C-STORE's data set is received
    std::uintmax_t received_ = 0;             // bytes of it so far
    std::optional<std::uintmax_t> writtenUpTo_;  // where its writing stopped, over the limit
};

}  // namespace

std::optional<Caller> ParseCaller(std::string_view text) {
    Caller caller;
    const auto at = text.find('@');
    caller.aet = std::string(text.substr(0, at));
    if (at != std::string_view::npos) {
        caller.host = std::string(text.substr(at + 1));
        in_addr address{};
        if (::inet_pton(AF_INET, caller.host.c_str(), &address) != 1) return std::nullopt;
    }
    if (caller.aet.empty() || caller.aet.size() > 16 || caller.aet.front() == ' ' || caller.aet.back() == ' ') return std::nullopt;
    for (char c : caller.aet) {
        if (c == '\\' || static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) return std::nullopt;
    }
    return caller;
}

Result<bool, std::string> Listen(const ListenerConfig& config, const Receiver& receive, const Logger& log,
                                 const std::atomic<bool>& stop) {
    OFLog::configure(OFLogger::ERROR_LOG_LEVEL);
    in_addr address{};
    if (::inet_pton(AF_INET, config.bind.c_str(), &address) != 1) {
        return Failure{"--bind \"" + config.bind + "\": not an IPv4 address"};
    }
    // Received files are for this account only, from the first byte.
    ::umask(077);
    std::error_code ec;
    std::filesystem::create_directories(config.archive, ec);
    if (ec || ::chmod(config.archive.c_str(), 0700) != 0) {
        return Failure{"archive folder " + config.archive.string() + ": " + (ec ? ec.message() : std::string("cannot be set to 0700"))};
    }

    Service service(config, receive, log, stop);
    DcmSCPConfig& scp = service.getConfig();
    scp.setPort(config.port);
    scp.setAETitle(config.aet.c_str());
    scp.setHostLookupEnabled(OFFalse);
    // Wake up every second to see whether to stop.
    scp.setConnectionBlockingMode(DUL_NOBLOCK);
    scp.setConnectionTimeout(1);
    scp.setACSETimeout(30);
    scp.setDIMSEBlockingMode(DIMSE_NONBLOCKING);
    scp.setDIMSETimeout(60);
    scp.setProgressNotificationMode(OFTrue);
    OFList<OFString> syntaxes;
    syntaxes.push_back(UID_LittleEndianExplicitTransferSyntax);
    syntaxes.push_back(UID_BigEndianExplicitTransferSyntax);
    syntaxes.push_back(UID_LittleEndianImplicitTransferSyntax);
    OFList<OFString> echoSyntaxes;
    echoSyntaxes.push_back(UID_LittleEndianImplicitTransferSyntax);
    if (scp.addPresentationContext(UID_VerificationSOPClass, echoSyntaxes).bad() ||
        scp.addPresentationContext(UID_XRayRadiationDoseSRStorage, syntaxes).bad()) {
        return Failure{std::string("the presentation contexts could not be set up")};
    }
    const OFCondition opened = service.openListenPort();
    if (opened.bad()) return Failure{std::string("port ") + std::to_string(config.port) + ": " + opened.text()};
    if (address.s_addr != htonl(INADDR_ANY)) {
        if (const auto error = BindListeningSocket(config.port, address)) {
            return Failure{"--bind " + config.bind + " port " + std::to_string(config.port) + ": " + *error};
        }
    }
    log("listening on " + config.bind + " port " + std::to_string(config.port) + " as " + config.aet);
    const OFCondition cond = service.acceptAssociations();
    if (cond.bad() && cond != NET_EC_StopAfterConnectionTimeout && cond != NET_EC_StopAfterAssociation) {
        return Failure{std::string("port ") + std::to_string(config.port) + ": " + cond.text()};
    }
    log("stopped");
    return true;
}

}  // namespace mirelo::registry
